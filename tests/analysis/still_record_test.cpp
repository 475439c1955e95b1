// End to end: the still simulated sensor logged with `vexa-cli log`, then `vexa-cli adev` and
// `vexa-cli noise` on the files, read back the sensor's stated noise figures. The command line
// runs on virtual time: two hours of log take seconds.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <regex>
#include <sstream>

#include "cli/cli.h"
#include "session/platform_set.h"
#include "sim/sensor_noise.h"
#include "sim/sim_clock.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

double figure(const std::string& text, const std::string& name, int occurrence = 0) {
  const std::regex pattern(name + ": (below )?([0-9.eE+-]+)");
  auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
  for (int i = 0; i < occurrence && it != std::sregex_iterator(); ++i) ++it;
  return it == std::sregex_iterator() ? -1.0 : std::stod((*it)[2]);
}

constexpr double kStandardGravity = 9.80665;

TEST(StillRecord, LoggedWithTheCommandLineItGivesBackTheStatedNoiseFigures) {
  testing::SimWorld folder;
  sim::SimClock clock(36000.0);
  sim::SimBusyLoop busy(clock, 1e-8);
  cli::CliEnvironment environment;
  environment.workingDirectory = folder.folder();
  environment.adjustPlatform = [&](PlatformOptions& o) {
    o.clock = &clock;
    o.busy = &busy;
  };

  // Two hours, a line every 15 ms (faster than the sensor's 52.8 Hz), four files.
  std::ostringstream logged, err;
  ASSERT_EQ(
      cli::RunCli({"--simulate-still", "--interface", "usb",       "log",           "--samples",
                   "120000",           "--files",     "4",         "--delay",       "15",
                   "--name",           "STILL",       "--dir",     folder.folder(), "XGYRO_OUT",
                   "YGYRO_OUT",        "ZGYRO_OUT",   "XACCL_OUT", "YACCL_OUT",     "ZACCL_OUT"},
                  logged, err, environment),
      0)
      << err.str();
  std::vector<std::string> files;
  std::istringstream paths(logged.str());
  for (std::string path; std::getline(paths, path);) files.push_back(path);
  ASSERT_EQ(files.size(), 4u) << logged.str();
  std::vector<std::string> args = {"adev"};
  args.insert(args.end(), files.begin(), files.end());
  for (const char* c : {"--channel", "X Gyro", "--channel", "X Accel"}) args.push_back(c);

  std::ostringstream out;
  ASSERT_EQ(cli::RunCli(args, out, err), 0) << err.str();
  const std::string text = out.str();
  SCOPED_TRACE(text);

  // Tolerances: the random walks rest on hundreds of thousands of samples (a few per cent; the
  // accelerometer's coarse steps add some); the floor on a few dozen clusters (about 25%).
  const sim::SensorNoiseConfig stated;
  EXPECT_NEAR(figure(text, "angle random walk") / stated.gyro.randomWalk, 1.0, 0.15);
  EXPECT_NEAR(figure(text, "bias instability", 0) / stated.gyro.biasInstability, 1.0, 0.3);
  // The accelerometer's quantisation (a count of 3.33 mg against 1.2 mg of noise per sample)
  // lifts the short cluster times, where the read-off looks for its -1/2 line: the noise fit
  // below separates the two.
  EXPECT_NEAR(figure(text, "velocity random walk") / stated.accel.randomWalk, 1.0, 0.3);
  EXPECT_NEAR(figure(text, "bias instability", 1) / stated.accel.biasInstability, 1.0, 0.3);
  EXPECT_EQ(text.find("below"), std::string::npos);  // both floors inside the record

  // The five-term fit on every axis: the stated random walk within 5%, rate random walk within
  // 15% and bias instability within 25% (the fewer clusters a term rests on, the wider), the
  // density's white level within 5% of the random walk, quantisation of one output count
  // (0.05 deg/s, 3.33 mg) found where the record can tell it, and no rate ramp.
  std::vector<std::string> noiseArgs = {"noise", "--json"};
  noiseArgs.insert(noiseArgs.end(), files.begin(), files.end());
  std::ostringstream json;
  ASSERT_EQ(cli::RunCli(noiseArgs, json, err), 0) << err.str();
  SCOPED_TRACE(json.str());
  const QJsonArray channels =
      QJsonDocument::fromJson(QByteArray::fromStdString(json.str()))["channels"].toArray();
  ASSERT_EQ(channels.size(), 6);
  const double period = 1.0 / 52.8;
  for (const auto& value : channels) {
    const QJsonObject c = value.toObject();
    const QJsonObject terms = c["terms"].toObject();
    const bool gyro = c["kind"].toString() == "gyro";
    SCOPED_TRACE(c["title"].toString().toStdString());
    const auto& f = gyro ? stated.gyro : stated.accel;
    // Accelerometer K stated in mg/sqrt(h), reported in m/s/h/sqrt(h).
    const double K =
        gyro ? f.rateRandomWalk : f.rateRandomWalk / 1000.0 / 60.0 * kStandardGravity * 216000.0;
    const double density =
        gyro ? f.randomWalk / 60.0 : f.randomWalk / 60.0 / kStandardGravity * 1000.0;
    const double Q = gyro ? sim::OutputQuantisation(0.05, period) * 3600.0
                          : sim::OutputQuantisation(0.00333, period) * kStandardGravity;
    const auto term = [&](const char* name) { return terms[name].toObject(); };
    for (const char* name : {"N", "B", "K"}) EXPECT_TRUE(term(name)["resolved"].toBool()) << name;
    EXPECT_NEAR(term("N")["value"].toDouble() / f.randomWalk, 1.0, 0.05);
    EXPECT_NEAR(term("B")["value"].toDouble() / f.biasInstability, 1.0, 0.25);
    EXPECT_NEAR(term("K")["value"].toDouble() / K, 1.0, 0.15);
    EXPECT_NEAR(c["density"]["white"].toDouble() / density, 1.0, 0.05);
    if (term("Q")["resolved"].toBool())
      EXPECT_NEAR(term("Q")["value"].toDouble() / Q, 1.0, 0.3);
    else
      EXPECT_GE(term("Q")["value"].toDouble(), Q);
    EXPECT_FALSE(term("R")["resolved"].toBool());
  }
}

}  // namespace
}  // namespace vexa
