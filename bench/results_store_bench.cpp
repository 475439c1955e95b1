// The results store's cost against its goals, measured on the wall clock in one run:
//  1. Recording a log run (the product number read, the files measured and checksummed, the
//     store opened, the record written, the file checkpointed) against the log run itself,
//     for a 1-second and a 20-second run: goal <= 1 % for the 20-second run on every store.
//     The run is one channel on the simulated parallel port, pin by pin, with a 2 ms pause
//     between samples, busy-waited as on the bench. Stores: the SQLite file; PostgreSQL over
//     its Unix socket; over TCP with a password (SCRAM).
//  2. The time a server that accepts and never answers adds to a command: goal <= 3 s.
//  3. One figure across 10,000 units with 100 runs each (a noise analysis per run, two figures
//     per analysis): the query `vexa-cli figures` and the Units window make, goal 200 ms. The
//     store is filled in bulk by SQL first (not timed).
// SQLite always; PostgreSQL too when run under tests/results/with_postgres.sh, which names its
// throw-away server (socket and TCP, with the password) in the environment:
//   tests/results/with_postgres.sh build/results_store_bench
// VEXA_BENCH_UNITS sets fewer units for a quick look.

#include <QCoreApplication>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "datalog/log_run.h"
#include "results/recording.h"
#include "results/results_schema.h"
#include "results/results_store.h"
#include "sim_bench_world.h"

namespace vexa {
namespace {

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class QuietHost : public datalog::LogHost {
 public:
  bool cancelRequested() override { return false; }
};

// The run of `seconds` on the wall clock, then its record: what `vexa-cli log` does at its end.
void recordingAgainstLogRun(const std::string& address, const char* store, int seconds) {
  SimBenchWorld<> bench(kInterfaceParallel, true);
  AppContext& ctx = bench.world.ctx;
  datalog::LogSettings s;
  s.sampleDelayMs = 2;
  s.channels = {2};
  s.directory = bench.world.folder();
  QuietHost host;
  // The store made once (the first use on a bench creates its schema), and the pace of a sample
  // on this machine measured, so the run lasts the seconds asked on the wall clock.
  {
    results::StoreLocation where;
    std::string error;
    results::ParseStoreLocation(address, where, error);
    results::ResultsStore(where).open();
    datalog::LogSettings probe = s;
    probe.samplesPerFile = 200;
    probe.fileName = "PACE";
    const auto p0 = Clock::now();
    datalog::LogRun(ctx, probe, host).run();
    s.samplesPerFile = std::max(1.0, std::floor(seconds * 200 / secondsSince(p0)));
  }
  const std::string started = results::UtcNow();
  auto t0 = Clock::now();
  datalog::LogRun run(ctx, s, host);
  const datalog::LogResult result = run.run();
  const double logSeconds = secondsSince(t0);

  t0 = Clock::now();
  const std::string product = results::ReadProductNumber(ctx);
  results::Recorder recorder(address);
  const std::string state =
      recorder.keep(results::LogRunRecordFor(ctx, "BENCH-1", started, s, {}, result, product));
  const double recordSeconds = secondsSince(t0);
  const double share = 100 * recordSeconds / logSeconds;
  std::printf(
      "%-22s | record after a %2d-s log run | %7.1f ms | run %6.2f s | %6.3f %% | "
      "goal <= 1 %% (20 s) | ratio %.2f | %s%s\n",
      store, seconds, recordSeconds * 1e3, logSeconds, share, share / 1.0, state.c_str(),
      recorder.untoldCause().empty() ? "" : " (with a cause)");
}

// A server that takes the connection (the kernel's backlog) and never says a word.
void silentServer() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  listen(fd, 16);
  const std::string url =
      "postgresql://bench@127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/results";
  results::LogRunRecord record;
  record.id = results::NewRecordId();
  record.unit = {"BENCH-1", "16488"};
  record.outcome = "completed";
  const auto t0 = Clock::now();
  results::Recorder recorder(url);
  const std::string state = recorder.keep(record);
  const double added = secondsSince(t0);
  std::printf(
      "%-22s | a server that never answers | %7.1f ms | added to the command | goal <= "
      "3 s | ratio %.2f | %s\n",
      "PostgreSQL silent", added * 1e3, added / 3.0, state.c_str());
  close(fd);
}

// Fills the store: `units` units, each with `runs` runs, one noise analysis per run with two
// figures, and each unit's newest figures in latest_figures, all in SQL.
bool fill(QSqlDatabase& db, results::Engine engine, int units, int runs) {
  std::string error;
  const bool pg = engine == results::Engine::Postgres;
  const std::string n = std::to_string(units * runs);
  const std::string u = std::to_string(units);
  const std::string r = std::to_string(runs);
  const std::string series =
      pg ? "(SELECT g - 1 AS i FROM generate_series(1, " + n + ") g) s"
         : "(WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM c WHERE i + 1 < " + n +
               ") SELECT i FROM c) s";
  const std::string unitSeries =
      pg ? "(SELECT g - 1 AS i FROM generate_series(1, " + u + ") g) s"
         : "(WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM c WHERE i + 1 < " + u +
               ") SELECT i FROM c) s";
  const std::string cat = pg ? "||" : "||";
  const std::string unitOf = "'U' " + cat + " (s.i / " + r + ")";
  const std::string textOf = pg ? "CAST(s.i AS TEXT)" : "CAST(s.i AS TEXT)";
  const std::vector<std::string> statements = {
      "INSERT INTO units SELECT 'U' " + cat + " s.i, '16488', '2026-01-01' FROM " + unitSeries,
      "INSERT INTO runs SELECT 'r' " + cat + " " + textOf + ", " + unitOf +
          ", 'bench', '2026-01-01T00:00:00Z', '2026-01-01T00:01:00Z', 'usb', 'delay=0', "
          "'XGYRO_OUT', 10000, 1, 'completed', 10000, NULL FROM " +
          series,
      "INSERT INTO run_files SELECT 'r' " + cat + " " + textOf + ", 1, '/data/U' " + cat + " " +
          textOf + " " + cat + " '_1.csv', 520000, NULL FROM " + series,
      "INSERT INTO noise_analyses SELECT 'a' " + cat + " " + textOf + ", " + unitOf +
          ", 'bench', '2026-01-01T00:02:00Z', 'r' " + cat + " " + textOf + ", NULL FROM " + series,
      "INSERT INTO noise_figures SELECT 'a' " + cat + " " + textOf +
          ", 'X Gryo', 'gyro', 'B', 5 + (s.i % 97) * 0.01, 0.5, 'deg/h', 1, 'X Gyro' FROM " +
          series,
      "INSERT INTO noise_figures SELECT 'a' " + cat + " " + textOf +
          ", 'X Gryo', 'gyro', 'N', 0.1, 0.01, 'deg/sqrt(h)', 1, 'X Gyro' FROM " + series,
      "INSERT INTO latest_figures SELECT f.title, f.term, a.unit, f.value, f.sigma, "
      "f.value_unit, f.resolved, a.at, a.id, f.caption FROM noise_figures f "
      "JOIN noise_analyses a ON "
      "a.id = f.analysis_id WHERE a.id IN (SELECT 'a' " +
          cat + " CAST(s.i * " + r + " + " + std::to_string(runs - 1) + " AS TEXT) FROM " +
          unitSeries + ")",
  };
  if (!results::BeginWrite(db, engine, error)) return false;
  for (const auto& sql : statements)
    if (!results::Exec(db, sql, error)) {
      std::fprintf(stderr, "fill: %s\n", error.c_str());
      results::Rollback(db);
      return false;
    }
  if (!results::Commit(db, error)) return false;
  if (pg) results::Exec(db, "ANALYZE", error);
  return true;
}

void figureAcrossUnits(const results::StoreLocation& where, const char* engine, int units) {
  const int runs = 100;
  results::ResultsStore store(
      where, where.engine == results::Engine::Sqlite ? where.path : results::DefaultStorePath());
  if (!store.open()) {
    std::printf("%-10s | store not usable: %s\n", engine, store.state().lastError.c_str());
    return;
  }
  QSqlDatabase db = store.target();
  auto t0 = Clock::now();
  if (!fill(db, where.engine, units, runs)) return;
  const double fillSeconds = secondsSince(t0);
  std::vector<double> times;
  std::vector<results::FigureValue> values;
  std::string error;
  for (int i = 0; i < 7; ++i) {
    t0 = Clock::now();
    store.figure("X Gyro/B", values, error);
    times.push_back(secondsSince(t0));
  }
  std::sort(times.begin(), times.end());
  const double median = times[times.size() / 2];
  std::printf(
      "%-10s | one figure across %d units x %d runs (%zu values) | %8.1f ms median of 7 "
      "| worst %6.1f ms | goal 200 ms | ratio to goal %.3f | filled in %.0f s\n",
      engine, units, runs, values.size(), median * 1e3, times.back() * 1e3, median / 0.2,
      fillSeconds);
}

}  // namespace
}  // namespace vexa

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  using namespace vexa;
  const char* unitsText = std::getenv("VEXA_BENCH_UNITS");
  const int units = unitsText ? std::max(1, std::atoi(unitsText)) : 10000;
  testing::SimWorld scratch;
  const std::string sqlitePath = scratch.folder() + "/results.db";
  std::printf("store                  | measure | time | against | share | goal | ratio\n");
  const char* socketUrl = std::getenv("VEXA_TEST_PG_URL");
  const char* tcpUrl = std::getenv("VEXA_TEST_PG_TCP_URL");
  const char* password = std::getenv("VEXA_TEST_PG_PASSWORD");
  // The queue of a bench that records to a server lives in the scratch folder, too.
  setenv("XDG_DATA_HOME", scratch.folder().c_str(), 1);
  for (int seconds : {1, 20}) {
    recordingAgainstLogRun(sqlitePath, "SQLite", seconds);
    if (socketUrl)
      recordingAgainstLogRun(std::string(socketUrl) + "postgres", "PostgreSQL socket", seconds);
    if (tcpUrl && password) {
      setenv("PGPASSWORD", password, 1);
      recordingAgainstLogRun(std::string(tcpUrl) + "postgres", "PostgreSQL TCP+SCRAM", seconds);
      unsetenv("PGPASSWORD");
    }
  }
  silentServer();
  results::StoreLocation sqlite;
  std::string error;
  results::ParseStoreLocation(scratch.folder() + "/figures.db", sqlite, error);
  figureAcrossUnits(sqlite, "SQLite", units);
  results::StoreLocation server;
  if (socketUrl && results::ParseStoreLocation(std::string(socketUrl) + "postgres", server, error))
    figureAcrossUnits(server, "PostgreSQL", units);
  return 0;
}
