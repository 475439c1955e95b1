#include <gtest/gtest.h>

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "analysis/log_text.h"
#include "cli/cli.h"
#include "sim/sensor_random.h"
#include "report/noise_report.h"
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
  // 20000 samples 10 ms apart of a white-noise gyro (N = 0.02 deg/sqrt(s)) and accelerometer.
  std::string writeWhiteLog() {
    sim::SensorRandom random(3);
    vexa::testing::LogColumn gyro{"XgND", "X Gryo", {}, {}}, accel{"XaND", "X acc", {}, {}};
    for (int i = 0; i < 20000; ++i) {
      gyro.values.push_back(0.2 * random.gaussian());
      accel.values.push_back(1.0 + 0.003 * random.gaussian());
    }
    const std::string file = world.folder() + "/W_1.csv";
    vexa::testing::WriteText(file, vexa::testing::LogText("W_1.csv", {gyro, accel}, 50.0, 250.0));
    return file;
  }
  // The standard output of a shell command.
  static std::string shell(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
      ::pclose(pipe);
    }
    return text;
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

// The JSON form scripts rely on, and the filter's parameters in SI units.
TEST_F(CliAnalysisTest, NoiseGivesTheStableJsonAndTheFiltersParameters) {
  const std::string file = writeWhiteLog();
  ASSERT_EQ(run({"noise", file, "--json"}), 0) << err.str();
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out.str()));
  const QJsonArray channels = doc["channels"].toArray();
  ASSERT_EQ(channels.size(), 2) << out.str();
  const QJsonObject g = channels[0].toObject();
  EXPECT_EQ(g.keys(),
            (QStringList{"density", "kind", "rate_hz", "samples", "terms", "title", "units"}));
  EXPECT_EQ(g["title"].toString(), "X Gryo");
  EXPECT_EQ(g["kind"].toString(), "gyro");
  EXPECT_EQ(g["units"].toString(), "deg/sec");
  EXPECT_DOUBLE_EQ(g["rate_hz"].toDouble(), 100.0);
  EXPECT_EQ(g["samples"].toInt(), 20000);
  const QJsonObject terms = g["terms"].toObject();
  EXPECT_EQ(terms.keys(), (QStringList{"B", "K", "N", "Q", "R"}));
  const QJsonObject N = terms["N"].toObject();
  EXPECT_EQ(N.keys(), (QStringList{"resolved", "sigma", "unit", "value"}));
  EXPECT_EQ(N["unit"].toString(), "deg/sqrt(h)");
  EXPECT_NEAR(N["value"].toDouble(), 1.2, 0.06);
  EXPECT_TRUE(N["resolved"].toBool());
  EXPECT_FALSE(terms["K"]["resolved"].toBool());
  EXPECT_GT(terms["K"]["value"].toDouble(), 0.0);  // the bound
  EXPECT_NEAR(g["density"]["white"].toDouble(), 0.02, 0.001);
  EXPECT_EQ(g["density"]["unit"].toString(), "deg/s/sqrt(Hz)");
  EXPECT_EQ(channels[1]["kind"].toString(), "accelerometer");
  EXPECT_EQ(channels[1]["terms"]["B"]["unit"].toString(), "mg");

  // imu.yaml: never over a file (or link) already there unless asked.
  const std::string yaml = world.folder() + "/imu.yaml";
  ASSERT_EQ(run({"noise", file, "--imu-yaml", yaml}), 0) << err.str();
  std::ifstream in(yaml);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("gyroscope_noise_density: 0.000349"), std::string::npos) << text;  // rad
  EXPECT_NE(text.find("accelerometer_noise_density: 0.0029"), std::string::npos) << text;
  for (const char* key :
       {"gyroscope_random_walk: ", "accelerometer_random_walk: ", "update_rate: 100"})
    EXPECT_NE(text.find(key), std::string::npos) << key;
  EXPECT_EQ(run({"noise", file, "--imu-yaml", yaml}), 1);
  EXPECT_NE(err.str().find("exists"), std::string::npos) << err.str();
  const std::string link = world.folder() + "/link.yaml";
  ASSERT_EQ(::symlink((world.folder() + "/elsewhere").c_str(), link.c_str()), 0);
  EXPECT_EQ(run({"noise", file, "--imu-yaml", link}), 1);
  EXPECT_EQ(::access((world.folder() + "/elsewhere").c_str(), F_OK), -1);
  EXPECT_EQ(run({"noise", file, "--imu-yaml", yaml, "--overwrite"}), 0) << err.str();
  EXPECT_EQ(run({"noise", file, "--channel", "X Gryo", "--imu-yaml", world.folder() + "/g.yaml"}),
            1);
  EXPECT_NE(err.str().find("needs a gyro and an accelerometer"), std::string::npos);
}

// The report: a valid PDF of two pages (plots, then figures) whose numbers are the JSON's, with
// the verdicts of the limits given.
TEST_F(CliAnalysisTest, ReportIsAPdfWithTheJsonsFiguresAndVerdicts) {
  const std::string file = writeWhiteLog();
  ASSERT_EQ(run({"noise", file, "--json"}), 0) << err.str();
  const QJsonArray channels =
      QJsonDocument::fromJson(QByteArray::fromStdString(out.str()))["channels"].toArray();
  const std::string limits = world.folder() + "/limits.json";
  vexa::testing::WriteText(limits, R"({"gyro": {"N": 2.0, "density": 0.01}})");
  const std::string pdf = world.folder() + "/report.pdf";
  ASSERT_EQ(run({"report", file, "-o", pdf, "--limits", limits}), 0) << err.str();
  const std::string info = shell("pdfinfo '" + pdf + "' 2>&1");
  EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +2\n"))) << info;
  EXPECT_TRUE(std::regex_search(info, std::regex("Title: +Noise report\n"))) << info;
  const std::string text = shell("pdftotext -layout '" + pdf + "' - 2>&1");
  for (const auto& c : channels)
    for (const char* t : {"N", "B", "K"}) {
      const QJsonObject term = c.toObject()["terms"].toObject()[t].toObject();
      const std::string shown =
          (term["resolved"].toBool() ? "" : "< ") + report::ReportNumber(term["value"].toDouble());
      EXPECT_NE(text.find(shown), std::string::npos) << t << " " << shown << "\n" << text;
    }
  EXPECT_NE(text.find("random walk N"), std::string::npos);
  EXPECT_NE(text.find("pass"), std::string::npos) << text;  // N 1.2 deg/sqrt(h) under 2
  EXPECT_NE(text.find("fail"), std::string::npos) << text;  // density 0.02 over 0.01

  // Kept files are not replaced unasked; bad limits are refused before anything is drawn.
  EXPECT_EQ(run({"report", file, "-o", pdf}), 1);
  EXPECT_NE(err.str().find("exists"), std::string::npos);
  vexa::testing::WriteText(limits, R"({"gyro": {"X": 1}})");
  EXPECT_EQ(run({"report", file, "-o", world.folder() + "/r2.pdf", "--limits", limits}), 1);
  EXPECT_NE(err.str().find("must be one of Q, N, B, K, R, density"), std::string::npos);
  EXPECT_EQ(run({"report", file}), 2);
}

TEST(CliOptionsStill, SimulateStillSimulatesAStillSensor) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseArguments({"--simulate-still", "read", "XGYRO_OUT"}, o, error)) << error;
  EXPECT_TRUE(o.device.simulate);
  EXPECT_TRUE(o.device.simulateStill);
}

}  // namespace
}  // namespace vexa::cli
