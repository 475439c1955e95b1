#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QSqlQuery>
#include <QSysInfo>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/cli.h"
#include "results/file_facts.h"
#include "results/results_store.h"
#include "results_engines.h"
#include "sim/recording_services.h"
#include "support/sim_world.h"

namespace vexa::results {
namespace {

// Runs of vexa-cli in tests record into a data folder of the tests', never the user's.
const bool kTestDataHome = [] {
  static vexa::testing::SimWorld dataHome;
  return setenv("XDG_DATA_HOME", dataHome.folder().c_str(), 1) == 0;
}();

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

class RecordingTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kTestDataHome);
    if (GetParam() == Engine::Postgres && !testing::PostgresAvailable())
      GTEST_SKIP() << "no test server: tests/results/with_postgres.sh runs these";
    where = testing::FreshStore(GetParam(), world.folder());
  }
  CliRun cli(std::vector<std::string> args, cli::CliEnvironment environment = {}) {
    args.insert(args.begin(), {"--simulate", "--interface", "usb", "--db", where.text()});
    environment.workingDirectory = world.folder();
    std::ostringstream out, err;
    const int status = cli::RunCli(args, out, err, environment);
    return {status, out.str(), err.str()};
  }
  std::vector<RunSummary> runs() {
    ResultsStore store(where);
    std::vector<RunSummary> out;
    std::string error;
    EXPECT_TRUE(store.runs({}, out, error)) << error;
    return out;
  }
  vexa::testing::SimWorld world;
  StoreLocation where;
};

TEST_P(RecordingTest, LogRunIsRecordedUnderItsUnitWithItsFilesAndTheProductNumber) {
  const CliRun r = cli({"log", "--samples", "20", "--files", "2", "--unit", "LOT7-001", "--dir",
                        world.folder(), "XGYRO_OUT", "ZGYRO_OUT"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const CliRun unnamed =
      cli({"log", "--samples", "5", "--name", "OTHER", "--dir", world.folder(), "XGYRO_OUT"});
  ASSERT_EQ(unnamed.status, 0) << unnamed.err;

  const auto all = runs();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].unit, "LOT7-001");
  EXPECT_EQ(all[0].channels, "XGYRO_OUT, ZGYRO_OUT");
  EXPECT_EQ(all[0].samplesTaken, 40);
  EXPECT_EQ(all[0].outcome, "completed");
  ASSERT_EQ(all[0].filesWritten.size(), 2u);
  EXPECT_EQ(all[0].filesWritten[1].path, world.folder() + "/DATALOG_2.csv");
  EXPECT_EQ(all[0].filesWritten[1].bytes,
            static_cast<int64_t>(std::filesystem::file_size(world.folder() + "/DATALOG_2.csv")));
  // Without a unit, the product number read from the module names it.
  ResultsStore store(where);
  std::vector<UnitSummary> units;
  std::string error;
  ASSERT_TRUE(store.units(units, error)) << error;
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[1].name, "LOT7-001");  // names in order: the number before the letters
  EXPECT_FALSE(units[1].product.empty());
  EXPECT_EQ(units[0].name, units[1].product);
  EXPECT_EQ(all[1].unit, units[1].product);
}

std::string Sha256OfFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex().toStdString();
}

TEST_P(RecordingTest, FilesAreKeptByAbsolutePathWithTheHostTheirSizeAndChecksum) {
  // A folder given relative to where the command runs.
  std::filesystem::create_directory(world.folder() + "/sub");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(world.folder());
  const CliRun r = cli({"log", "--samples", "4", "--dir", "./sub", "XGYRO_OUT"});
  std::filesystem::current_path(previous);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto all = runs();
  ASSERT_EQ(all.size(), 1u);
  ASSERT_EQ(all[0].filesWritten.size(), 1u);
  const RunFile& f = all[0].filesWritten[0];
  const std::string written = world.folder() + "/sub/DATALOG_1.csv";
  EXPECT_EQ(f.path, written);
  EXPECT_EQ(f.bytes, static_cast<int64_t>(std::filesystem::file_size(written)));
  EXPECT_EQ(f.sha256, Sha256OfFile(written));
  EXPECT_EQ(all[0].host, QSysInfo::machineHostName().toStdString());
  EXPECT_EQ(CheckFile(f), FileState::Unchanged);
}

TEST_P(RecordingTest, RunThatEndedEarlyIsRecordedWithHowItEnded) {
  const CliRun lost = cli({"--simulate-fault", "unplug-after=40", "log", "--samples", "100",
                           "--dir", world.folder(), "XGYRO_OUT"});
  EXPECT_EQ(lost.status, 1) << lost.err;
  sim::RecordingUiHooks hooks;
  hooks.onProcessEvents = [&] {
    if (hooks.eventPasses == 3) std::raise(SIGINT);
  };
  cli::CliEnvironment environment;
  environment.beforeCommand = [&](PlatformSet&, AppContext& ctx) { ctx.platform.ui = &hooks; };
  const CliRun cancelled =
      cli({"log", "--samples", "100", "--name", "STOPPED", "--dir", world.folder(), "XGYRO_OUT"},
          environment);
  EXPECT_EQ(cancelled.status, 128 + SIGINT) << cancelled.err;
  const auto all = runs();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].outcome, "transport lost");
  EXPECT_LT(all[0].samplesTaken, 100);
  EXPECT_EQ(all[1].outcome, "cancelled");
  EXPECT_LT(all[1].samplesTaken, 100);
}

TEST_P(RecordingTest, UnitNamesThatCouldForgeAListingAreRefusedAndStoredTextIsEscaped) {
  for (const char* forged : {"LOT7\nFAKEUNIT\t27150\t99 runs", "\x1b]0;owned\x07"}) {
    const CliRun r = cli({"log", "--samples", "2", "--unit", forged, "--dir", world.folder(),
                          "--overwrite", "XGYRO_OUT"});
    EXPECT_EQ(r.status, 2) << forged;
    EXPECT_NE(r.err.find("control characters"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(runs().empty());
  // A name an earlier version took: every stored text is printed on its own line and column.
  {
    ResultsStore store(where);
    ASSERT_TRUE(store.open());
    QSqlDatabase db = store.target();
    std::string error;
    ASSERT_TRUE(Exec(db, "INSERT INTO units VALUES ('A\nFAKEUNIT\t27150', '1\x1b[2J', 't')", error))
        << error;
  }
  const CliRun units = cli({"units"});
  ASSERT_EQ(units.status, 0) << units.err;
  EXPECT_EQ(units.out, "A\\nFAKEUNIT\\t27150\t1\\x1B[2J\t0 runs\t-\t0 figures\n");
}

TEST_P(RecordingTest, CalibrationsAreListedByKindOfWriteForOneUnitOrAll) {
  {
    ResultsStore store(where);
    ASSERT_TRUE(store.open());
    const struct {
      const char* unit;
      const char* at;
      CalibrationKind kind;
    } writes[] = {{"A", "2026-12-01T10:00:00.000Z", CalibrationKind::MagnetometerApply},
                  {"A", "2026-12-01T10:05:00.000Z", CalibrationKind::MagnetometerRevert},
                  {"B", "2026-12-01T11:00:00.000Z", CalibrationKind::PrecisionAutoNull},
                  {"B", "2026-12-01T11:01:00.000Z", CalibrationKind::AutoNull}};
    for (const auto& w : writes)
      ASSERT_TRUE(store.record(CalibrationRecord{
          NewRecordId(), {w.unit, ""}, "b", w.at, w.kind, {{"XMAGN_HIF", 0, -12}}}));
  }
  const CliRun a = cli({"calibrations", "--unit", "A"});
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(a.out,
            "2026-12-01T10:00:00.000Z\tA\tmagnetometer apply\tXMAGN_HIF 0->-12\n"
            "2026-12-01T10:05:00.000Z\tA\tmagnetometer revert\tXMAGN_HIF 0->-12\n");
  const CliRun all = cli({"calibrations"});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_NE(all.out.find("\tB\tprecision auto null\t"), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("\tB\tauto null\t"), std::string::npos) << all.out;
  EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 4);
}

TEST_P(RecordingTest, NoiseAnalysisIsRecordedOnlyUnderAUnitNamed) {
  const CliRun log = cli({"--simulate-virtual-time", "log", "--samples", "3000", "--delay", "15",
                          "--name", "STILL", "--dir", world.folder(), "XGYRO_OUT"});
  ASSERT_EQ(log.status, 0) << log.err;
  const std::string file = world.folder() + "/STILL_1.csv";
  const CliRun json = cli({"noise", "--json", file});
  ASSERT_EQ(json.status, 0) << json.err;
  const std::string title = "X Gyro";  // XGYRO_OUT's caption, as every output names it
  ASSERT_NE(json.out.find("\"" + title + "\""), std::string::npos) << json.out;
  const auto figure = [&](const std::string& term) {
    return cli({"figures", "--figure", title + "/" + term}).out;
  };
  // A file does not tell which module it came from: without a name nothing is kept.
  EXPECT_EQ(figure("N"), "");

  const CliRun noise = cli({"noise", "--unit", "LOT7-002", file});
  ASSERT_EQ(noise.status, 0) << noise.err;
  EXPECT_EQ(noise.err, "");
  const std::string n = figure("N");
  EXPECT_EQ(n.rfind("LOT7-002\t", 0), 0u) << n;
  EXPECT_NE(n.find("deg/sqrt(h)"), std::string::npos) << n;
  EXPECT_EQ(figure("B").rfind("LOT7-002\t", 0), 0u);
  // The caption the datalog window shows finds the same figure as the file's column title.
  EXPECT_EQ(cli({"figures", "--figure", "X Gyro/N"}).out, n);
  const CliRun missing = cli({"figures", "--figure", "X Accel/N"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("no figure named 'X Accel/N'"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("\n  X Gyro/N\n"), std::string::npos) << missing.err;
  // The analysis names its file as the runs do: absolute, with its host and checksum.
  {
    ResultsStore store(where);
    ASSERT_TRUE(store.open());
    QSqlQuery q(store.target());
    ASSERT_TRUE(
        q.exec("SELECT f.path, f.sha256, a.host FROM noise_files f "
               "JOIN noise_analyses a ON a.id = f.analysis_id"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString().toStdString(), file);
    EXPECT_EQ(q.value(1).toString().toStdString(), Sha256OfFile(file));
    EXPECT_EQ(q.value(2).toString(), QSysInfo::machineHostName());
  }
}

TEST_P(RecordingTest, StoreThatCannotBeUsedNeverStopsTheRunNorLosesItsFiles) {
  if (GetParam() == Engine::Sqlite) {
    where.path = "/proc/no-such-folder/results.db";
  } else {
    ASSERT_TRUE(testing::StopPostgres());
  }
  const CliRun r = cli({"log", "--samples", "10", "--dir", world.folder(), "XGYRO_OUT"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::filesystem::exists(world.folder() + "/DATALOG_1.csv"));
  if (GetParam() == Engine::Sqlite) {
    EXPECT_NE(r.err.find("results store: not recorded"), std::string::npos) << r.err;
    return;
  }
  EXPECT_NE(r.err.find("results store: offline, 1 record waiting"), std::string::npos) << r.err;
  ASSERT_TRUE(testing::StartPostgres());
  // The next program to open the store sends what waited, and nothing stays queued.
  const auto all = runs();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].samplesTaken, 10);
  ResultsStore store(where);
  std::vector<QueuedRecord> waiting;
  std::string error;
  ASSERT_TRUE(store.queued(waiting, error)) << error;
  for (const auto& q : waiting) EXPECT_NE(q.destination, where.text()) << q.id;
  EXPECT_EQ(store.state().lastError, "");
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordingTest,
                         ::testing::Values(Engine::Sqlite, Engine::Postgres), [](const auto& info) {
                           return info.param == Engine::Sqlite ? "Sqlite" : "Postgres";
                         });

}  // namespace
}  // namespace vexa::results
