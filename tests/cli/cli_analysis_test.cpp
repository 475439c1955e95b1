#include <gtest/gtest.h>

#include <sstream>

#include "analysis/log_text.h"
#include "cli/cli.h"
#include "platform/sim/sensor_random.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

class CliAnalysisTest : public ::testing::Test {
 protected:
  // 4000 white-noise samples of two gyros, 10 ms apart, in the given regional form.
  std::string writeLog(bool decimalComma, const std::string& name = "A_1.txt") {
    sim::SensorRandom random(9);
    vexa::testing::LogColumn x{"XgND", "X Gryo", {}, {}}, y{"YgND", "Y Gyro", {}, {}};
    for (int i = 0; i < 4000; ++i) {
      x.values.push_back(0.25 + 0.2 * random.gaussian());
      y.values.push_back(-0.5 + 0.1 * random.gaussian());
    }
    const std::string path = world.folder() + "/" + name;
    vexa::testing::WriteText(path, vexa::testing::LogText(name, {x, y}, 50.0, 90.0, decimalComma));
    return path;
  }
  int run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return RunCli(args, out, err);
  }
  vexa::testing::SimWorld world;
  std::ostringstream out, err;
};

TEST_F(CliAnalysisTest, CsvHasOneLinePerChannelAndClusterTimeWithDecimalPoints) {
  const std::string file = writeLog(true);
  ASSERT_EQ(run({"adev", file, "--channel", "Y Gyro", "--csv"}), 0) << err.str();
  std::istringstream lines(out.str());
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "channel,tau,adev,low,high");
  int rows = 0;
  while (std::getline(lines, line)) {
    ++rows;
    EXPECT_EQ(line.rfind("Y Gyro,", 0), 0u) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 4) << line;
  }
  EXPECT_EQ(rows, 9);  // 1 .. 256 samples of 4000
  EXPECT_NE(out.str().find("\nY Gyro,0.01,0.1"), std::string::npos) << out.str();
}

TEST_F(CliAnalysisTest, TextGivesTheCurveAndReadOffsOfEveryChannel) {
  ASSERT_EQ(run({"adev", writeLog(false, "A_1.csv")}), 0) << err.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("X Gryo (deg/sec): 4000 samples every 0.01 s"), std::string::npos) << text;
  EXPECT_NE(text.find("Y Gyro (deg/sec)"), std::string::npos);
  EXPECT_NE(text.find("angle random walk: 1.2"), std::string::npos) << text;  // 0.2 x 0.1 x 60
  EXPECT_NE(text.find("bias instability:"), std::string::npos);
}

TEST_F(CliAnalysisTest, ReadOffsAreWithheldFromARecordThatIsNotStill) {
  sim::SensorRandom random(3);
  vexa::testing::LogColumn x{"XgND", "X Gryo", {}, {}};
  for (int i = 0; i < 20000; ++i) x.values.push_back(0.001 * i + 0.2 * random.gaussian());
  const std::string path = world.folder() + "/D_1.csv";
  vexa::testing::WriteText(path, vexa::testing::LogText("D_1.csv", {x}, 0, 20));
  ASSERT_EQ(run({"adev", path}), 0) << err.str();
  EXPECT_NE(out.str().find("\n  the read-offs are not valid: the record does not look still"),
            std::string::npos)
      << out.str();
  EXPECT_EQ(out.str().find("random walk"), std::string::npos) << out.str();
}

TEST_F(CliAnalysisTest, StatsPerChannel) {
  ASSERT_EQ(run({"stats", writeLog(false, "A_1.csv")}), 0) << err.str();
  EXPECT_NE(out.str().find("samples\t4000\ninterval\t0.01 s\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\nY Gyro\tdeg/sec\t4000\t-0.5"), std::string::npos) << out.str();
}

TEST_F(CliAnalysisTest, UsageAndFileErrors) {
  const std::string file = writeLog(false, "A_1.csv");
  // Values at the edge of the doubles: their sums overflow.
  const std::string huge = world.folder() + "/H_1.csv";
  std::vector<double> extremes;
  for (int i = 0; i < 100; ++i) extremes.push_back(i % 2 ? 1e308 : -1e308);
  vexa::testing::WriteText(
      huge, vexa::testing::LogText("H_1.csv", {{"XgND", "X Gryo", extremes, {}}}, 5, 6));
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  for (const auto& c : std::vector<Case>{
           {{"adev"}, 2, "needs at least one log file"},
           {{"adev", file, "--rate"}, 2, "needs a value"},
           {{"adev", file, "--rate", "-3"}, 2, "malformed rate"},
           {{"adev", file, "--channel", "Q"},
            2,
            "no channel 'Q' in the log (it has: X Gryo, Y Gyro)"},
           {{"stats", file, "--csv"}, 2, "unknown option '--csv' for stats"},
           {{"stats", world.folder() + "/none.csv"}, 1, "none.csv: cannot open the file"},
           {{"adev", file, "--rate", "1e-300"}, 2, "rate '1e-300' out of range"},
           {{"adev", file, "--rate", "1e300"}, 2, "rate '1e300' out of range"},
           {{"stats", huge}, 1, "X Gryo: the values are too large to analyse"},
           {{"adev", huge, "--rate", "10"}, 1, "X Gryo: the values are too large to analyse"},
           {{"stats", "/dev/zero"}, 1, "/dev/zero: not a regular file"},
       }) {
    EXPECT_EQ(run(c.args), c.status) << c.says;
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
  }
  // No interval in the files: the rate must be given.
  const std::string still = world.folder() + "/N_1.csv";
  vexa::testing::WriteText(
      still,
      vexa::testing::LogText("N_1.csv", {{"XgND", "X Gryo", {0.1, 0.2, 0.4, 0.3}, {}}}, 5, 5));
  EXPECT_EQ(run({"adev", still}), 1);
  EXPECT_NE(err.str().find("give --rate HZ"), std::string::npos);
  EXPECT_EQ(run({"adev", still, "--rate", "100", "--csv"}), 0) << err.str();
  EXPECT_NE(out.str().find("X Gryo,0.01,"), std::string::npos) << out.str();
}

TEST(CliOptionsStill, SimulateStillSimulatesAStillSensor) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseArguments({"--simulate-still", "read", "XGYRO_OUT"}, o, error)) << error;
  EXPECT_TRUE(o.simulate);
  EXPECT_TRUE(o.simulateStill);
}

}  // namespace
}  // namespace vexa::cli
