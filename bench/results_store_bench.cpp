// The results store's cost against its goals, measured on the wall clock in one run:
//  1. Recording a log run and a noise analysis after a 10,000-sample log run, against that log
//     run: goal < 1 %. The log run is the fastest this machine has (the simulated parallel port,
//     pin by pin, with the 0.1 ms pause after each frame busy-waited as on the bench), with one
//     channel (the shortest run, so the largest ratio a real run would see) and with all twelve.
//     Each record opens the store afresh, as the program does after a run.
//  2. One figure across 10,000 units with 100 runs each (a noise analysis per run, two figures
//     per analysis): the query `vexa-cli figures` and the Units window make, goal 200 ms. The
//     store is filled in bulk by SQL first (not timed).
// SQLite always; PostgreSQL too when VEXA_BENCH_PG_URL (postgresql://USER@HOST:PORT/NAME) names
// a database: tests/results/with_postgres.sh sets VEXA_TEST_PG_URL, and
//   tests/results/with_postgres.sh sh -c 'VEXA_BENCH_PG_URL=${VEXA_TEST_PG_URL}postgres
//   build/results_store_bench'
// runs both. VEXA_BENCH_UNITS sets fewer units for a quick look.

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
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

results::NoiseRecord noiseRecord() {
  results::NoiseRecord r;
  r.id = results::NewRecordId();
  r.unit = {"BENCH-1", "16488"};
  r.bench = "bench";
  r.at = results::UtcNow();
  r.source = "DATALOG_1.csv";
  for (const char* title : {"X Gyro", "Y Gyro", "Z Gyro", "X Accl", "Y Accl", "Z Accl"})
    r.channels.push_back({title,
                          "gyro",
                          {{"N", {0.1, 0.01, "deg/sqrt(h)", true}},
                           {"B", {5, 0.5, "deg/h", true}},
                           {"K", {30, 3, "deg/h/sqrt(h)", true}}}});
  return r;
}

void recordingAgainstLogRun(const std::string& address, const char* engine, int channels) {
  SimBenchWorld<> bench(kInterfaceParallel, true);
  AppContext& ctx = bench.world.ctx;
  datalog::LogSettings s;
  s.samplesPerFile = 10000;
  for (int16_t i = 1; i <= channels; ++i) s.channels.push_back(i);
  s.directory = bench.world.folder();
  QuietHost host;
  // The store's first use on a bench creates its schema, once; the runs after it are measured.
  auto t0 = Clock::now();
  {
    results::StoreLocation where;
    std::string error;
    results::ParseStoreLocation(address, where, error);
    results::ResultsStore first(where);
    first.open();
  }
  std::fprintf(stderr, "  %s: first use (schema made) %.1f ms\n", engine, secondsSince(t0) * 1e3);
  const std::string started = results::UtcNow();
  t0 = Clock::now();
  datalog::LogRun run(ctx, s, host);
  const datalog::LogResult result = run.run();
  const double logSeconds = secondsSince(t0);

  t0 = Clock::now();
  const std::string product = results::ReadProductNumber(ctx);
  const double productSeconds = secondsSince(t0);
  const std::string state =
      results::KeepLogRun(ctx, address, "BENCH-1", started, s, {}, result, product);
  const double runSeconds = secondsSince(t0) - productSeconds;
  results::KeepRecord(ctx, address, noiseRecord());
  const double recordSeconds = secondsSince(t0);
  std::fprintf(stderr, "  product number %.2f ms, run record %.2f ms, noise record %.2f ms\n",
               productSeconds * 1e3, runSeconds * 1e3,
               (recordSeconds - runSeconds - productSeconds) * 1e3);
  std::printf(
      "%-10s | record run + noise after 10,000 samples x %2d channels | %8.1f ms | log run %7.0f "
      "ms "
      "| %6.3f %% of the run | goal < 1 %% | ratio to goal %.2f | %s\n",
      engine, channels, recordSeconds * 1e3, logSeconds * 1e3, 100 * recordSeconds / logSeconds,
      100 * recordSeconds / logSeconds, state.c_str());
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
          "'XGYRO_OUT', 10000, 1, 'completed', 10000 FROM " +
          series,
      "INSERT INTO run_files SELECT 'r' " + cat + " " + textOf + ", 1, '/data/U' " + cat + " " +
          textOf + " " + cat + " '_1.csv', 520000 FROM " + series,
      "INSERT INTO noise_analyses SELECT 'a' " + cat + " " + textOf + ", " + unitOf +
          ", 'bench', '2026-01-01T00:02:00Z', 'r' " + cat + " " + textOf + " FROM " + series,
      "INSERT INTO noise_figures SELECT 'a' " + cat + " " + textOf +
          ", 'X Gyro', 'gyro', 'B', 5 + (s.i % 97) * 0.01, 0.5, 'deg/h', 1 FROM " + series,
      "INSERT INTO noise_figures SELECT 'a' " + cat + " " + textOf +
          ", 'X Gyro', 'gyro', 'N', 0.1, 0.01, 'deg/sqrt(h)', 1 FROM " + series,
      "INSERT INTO latest_figures SELECT f.title, f.term, a.unit, f.value, f.sigma, "
      "f.value_unit, f.resolved, a.at, a.id FROM noise_figures f JOIN noise_analyses a ON "
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
  std::printf("engine     | measure | time | against | share | goal | ratio\n");
  for (int channels : {1, 12}) recordingAgainstLogRun(sqlitePath, "SQLite", channels);
  results::StoreLocation sqlite;
  std::string error;
  results::ParseStoreLocation(scratch.folder() + "/figures.db", sqlite, error);
  figureAcrossUnits(sqlite, "SQLite", units);
  if (const char* pg = std::getenv("VEXA_BENCH_PG_URL")) {
    // The queue of a bench that records to a server lives in the scratch folder, too.
    setenv("XDG_DATA_HOME", scratch.folder().c_str(), 1);
    for (int channels : {1, 12}) recordingAgainstLogRun(pg, "PostgreSQL", channels);
    results::StoreLocation server;
    if (results::ParseStoreLocation(pg, server, error))
      figureAcrossUnits(server, "PostgreSQL", units);
  }
  return 0;
}
