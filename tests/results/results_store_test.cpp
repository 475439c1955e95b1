#include "results/results_store.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <sys/wait.h>
#include <unistd.h>

#include "results/results_schema.h"
#include "results_engines.h"
#include "support/sim_world.h"

namespace vexa::results {
namespace {

LogRunRecord SampleRun(const std::string& unit, const std::string& started) {
  LogRunRecord r;
  r.id = NewRecordId();
  r.unit = {unit, "16488"};
  r.bench = "bench 2";
  r.started = started;
  r.ended = started;
  r.interfaceName = "usb";
  r.settings = "delay=0ms";
  r.channels = {"XGYRO_OUT", "YGYRO_OUT"};
  r.samplesPerFile = 1000;
  r.files = 2;
  r.samplesTaken = 1500;
  r.outcome = "cancelled";
  r.filesWritten = {{"/data/A_1.csv", 52000, ""}, {"/data/A_2.csv", 26000, "0f3a"}};
  return r;
}

NoiseRecord Noise(const std::string& unit, const std::string& at, double b) {
  NoiseRecord r;
  r.id = NewRecordId();
  r.unit = {unit, "16488"};
  r.bench = "bench 2";
  r.at = at;
  r.source = "run 7";
  r.channels = {
      {"X Gyro", "gyro", {{"B", {b, b / 10, "deg/h", true}}, {"K", {0, 0, "", false}}}, ""}};
  return r;
}

class ResultsStoreTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && !testing::PostgresAvailable())
      GTEST_SKIP() << "no test server: tests/results/with_postgres.sh runs these";
    where = testing::FreshStore(GetParam(), world.folder());
    queue = world.folder() + "/queue.db";
  }
  std::vector<RunSummary> runsOf(ResultsStore& store, const std::string& unit = {}) {
    std::vector<RunSummary> runs;
    std::string error;
    EXPECT_TRUE(store.runs(unit, runs, error)) << error;
    return runs;
  }
  vexa::testing::SimWorld world;
  StoreLocation where;
  std::string queue;
};

TEST_P(ResultsStoreTest, MigratesFromEveryEarlierVersionKeepingWhatWasThere) {
  for (int from = 0; from < kSchemaVersion; ++from) {
    SCOPED_TRACE(from);
    where = testing::FreshStore(GetParam(), world.folder());
    ResultsStore store(where, queue);
    QSqlDatabase db =
        QSqlDatabase::addDatabase(GetParam() == Engine::Sqlite ? "QSQLITE" : "QPSQL", "migration");
    if (GetParam() == Engine::Sqlite)
      db.setDatabaseName(QString::fromStdString(where.path));
    else
      ConfigureServerConnection(db, where);
    ASSERT_TRUE(db.open());
    std::string error;
    ASSERT_TRUE(MigrateSchema(db, GetParam(), error, from)) << error;
    if (from == 1) {
      // What version 1 held: a run, and an older and a newer analysis of one unit.
      for (const char* sql :
           {"INSERT INTO units VALUES ('U1', '16488', 't0')",
            "INSERT INTO runs VALUES ('r1', 'U1', 'b', 't1', 't2', 'usb', '', '', 10, 1, "
            "'completed')",
            "INSERT INTO noise_analyses VALUES ('a1', 'U1', 'b', '2026-01-01', '')",
            "INSERT INTO noise_analyses VALUES ('a2', 'U1', 'b', '2026-02-01', '')",
            "INSERT INTO noise_figures VALUES ('a1', 'X Gyro', 'gyro', 'B', 7, 1, 'deg/h', 1)",
            "INSERT INTO noise_figures VALUES ('a2', 'X Gyro', 'gyro', 'B', 5, 1, 'deg/h', 1)"})
        ASSERT_TRUE(Exec(db, sql, error)) << error;
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("migration");

    ASSERT_TRUE(store.open()) << store.state().lastError;
    QSqlDatabase target = store.target();
    EXPECT_EQ(SchemaVersionOf(target), kSchemaVersion);
    if (from == 1) {
      const auto runs = runsOf(store);
      ASSERT_EQ(runs.size(), 1u);
      EXPECT_EQ(runs[0].samplesTaken, -1);  // not known before version 2
      std::vector<FigureValue> values;
      ASSERT_TRUE(store.figure("X Gyro/B", values, error)) << error;
      ASSERT_EQ(values.size(), 1u);
      EXPECT_EQ(values[0].value, 5);  // the newer analysis
    }
  }
}

TEST_P(ResultsStoreTest, KeepsEachKindOfRecordAndReadsItBack) {
  ResultsStore store(where, queue);
  ASSERT_TRUE(store.open()) << store.state().lastError;
  const LogRunRecord run = SampleRun("LOT7-001", "2026-12-01T10:00:00.000Z");
  CalibrationRecord cal{NewRecordId(),
                        {"LOT7-001", ""},
                        "bench 2",
                        "2026-12-01T11:00:00.000Z",
                        CalibrationKind::MagnetometerApply,
                        {{"XMAGN_HIF", 0, -120}, {"XMAGN_SIF", 2048, 2101}}};
  ASSERT_TRUE(store.record(run));
  ASSERT_TRUE(store.record(cal));
  ASSERT_TRUE(store.record(Noise("LOT7-001", "2026-12-01T12:00:00.000Z", 4.5)));
  // A record sent again (its acknowledgement lost) is kept once, and leaves nothing behind: no
  // copy waiting in the queue for ever, no error.
  ASSERT_TRUE(store.record(run));
  std::vector<QueuedRecord> waiting;
  std::string queueError;
  ASSERT_TRUE(store.queued(waiting, queueError)) << queueError;
  EXPECT_TRUE(waiting.empty());
  EXPECT_EQ(store.state().lastError, "");
  EXPECT_EQ(store.state().waiting, 0);

  const auto runs = runsOf(store, "LOT7-001");
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].bench, "bench 2");
  EXPECT_EQ(runs[0].channels, "XGYRO_OUT, YGYRO_OUT");
  EXPECT_EQ(runs[0].samplesTaken, 1500);
  EXPECT_EQ(runs[0].outcome, "cancelled");
  ASSERT_EQ(runs[0].filesWritten.size(), 2u);
  EXPECT_EQ(runs[0].filesWritten[1].path, "/data/A_2.csv");
  EXPECT_EQ(runs[0].filesWritten[1].bytes, 26000);
  EXPECT_EQ(runs[0].filesWritten[1].sha256, "0f3a");

  std::vector<CalibrationSummary> cals;
  std::string error;
  ASSERT_TRUE(store.calibrations("LOT7-001", cals, error)) << error;
  ASSERT_EQ(cals.size(), 1u);
  EXPECT_EQ(cals[0].kind, "magnetometer apply");
  ASSERT_EQ(cals[0].registers.size(), 2u);
  EXPECT_EQ(cals[0].registers[0].after, -120);

  std::vector<UnitSummary> units;
  ASSERT_TRUE(store.units(units, error)) << error;
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].product, "16488");  // a record without the product keeps the one known
  EXPECT_EQ(units[0].runs, 1);
  EXPECT_EQ(units[0].lastOutcome, "cancelled");
  EXPECT_EQ(units[0].figures, 2);
}

TEST_P(ResultsStoreTest, FigureAcrossUnitsIsEachUnitsNewestEvenWhenAnOlderOneArrivesLate) {
  ResultsStore store(where, queue);
  ASSERT_TRUE(store.open()) << store.state().lastError;
  store.record(Noise("A", "2026-12-02T00:00:00.000Z", 3.0));
  store.record(Noise("A", "2026-12-01T00:00:00.000Z", 9.0));  // queued on a bench, sent late
  store.record(Noise("B", "2026-12-01T00:00:00.000Z", 6.0));
  std::vector<FigureValue> values;
  std::string error;
  ASSERT_TRUE(store.figure("X Gyro/B", values, error)) << error;
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].unit, "A");
  EXPECT_EQ(values[0].value, 3.0);
  EXPECT_EQ(values[1].value, 6.0);
  EXPECT_FALSE(store.figure("no slash", values, error));
}

TEST_P(ResultsStoreTest, TwoBenchProcessesWritingAtOnceLoseNothing) {
  {
    ResultsStore first(where, queue);
    ASSERT_TRUE(first.open());
  }
  constexpr int kRuns = 25;
  pid_t children[2];
  for (int bench = 0; bench < 2; ++bench) {
    children[bench] = fork();
    ASSERT_GE(children[bench], 0);
    if (children[bench] == 0) {
      bool ok = true;
      {
        // Each bench queues in its own local file, as two machines would.
        ResultsStore store(where, queue + std::to_string(bench));
        for (int i = 0; i < kRuns; ++i)
          ok = store.record(SampleRun(i % 2 ? "shared" : "own" + std::to_string(bench),
                                      "2026-12-01T10:00:" + std::to_string(10 + i) + ".000Z")) &&
               ok;
        ok = ok && store.flush() == 0;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ResultsStore store(where, queue);
  EXPECT_EQ(runsOf(store).size(), 2u * kRuns);
  EXPECT_EQ(runsOf(store, "shared").size(), 2u * (kRuns / 2));
}

INSTANTIATE_TEST_SUITE_P(Engines, ResultsStoreTest,
                         ::testing::Values(Engine::Sqlite, Engine::Postgres), [](const auto& info) {
                           return info.param == Engine::Sqlite ? "Sqlite" : "Postgres";
                         });

}  // namespace
}  // namespace vexa::results
