// `vexa-cli log --live-noise --until-resolved` on the still simulated sensor and virtual time:
// the run ends once the figure is known, its files agree, and a warm-up is told apart.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fstream>
#include <optional>
#include <sstream>

#include "analysis/log_file.h"
#include "analysis/noise_model.h"
#include "analysis/record_series.h"
#include "cli/cli.h"
#include "session/platform_set.h"
#include "sim/sim_clock.h"
#include "sim/sim_sensor.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

struct LoggedRun {
  int status = -1;
  std::vector<std::string> paths;  // stdout: the files, then the live result
  std::string err;
};

LoggedRun logStill(const std::string& folder, std::vector<std::string> extra, double warmUp = 0) {
  sim::SimClock clock(36000.0);
  sim::SimBusyLoop busy(clock, 1e-8);
  cli::CliEnvironment environment;
  environment.workingDirectory = folder;
  environment.adjustPlatform = [&](PlatformOptions& o) {
    o.clock = &clock;
    o.busy = &busy;
    o.configureSensor = [warmUp](sim::SimSensorConfig& c) {
      c.gyroWarmUpDegPerSec[0] = warmUp;
      c.gyroWarmUpSeconds = 120.0;
    };
  };
  std::vector<std::string> args = {"--simulate-still", "--interface", "usb",      "log",
                                   "--delay",          "15",          "--dir",    folder,
                                   "--name",           "LIVE",        "XGYRO_OUT"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::ostringstream out, err;
  LoggedRun r;
  r.status = cli::RunCli(args, out, err, environment);
  r.err = err.str();
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) r.paths.push_back(line);
  return r;
}

std::optional<double> relativeSigma(const std::vector<double>& y, double tau0, int term) {
  const auto curve = analysis::OverlappingAllanDeviation(y, tau0);
  const analysis::NoiseModel model = analysis::FitNoiseModel(curve, int64_t(y.size()));
  if (!model.ok) return std::nullopt;
  const analysis::NoiseTerm& t = model.terms[size_t(term)];
  if (!t.resolved) return std::nullopt;
  return 100.0 * t.sigma / t.value;
}

TEST(LiveNoiseLog, UntilResolvedEndsOnceTheFilesGiveTheFigureAndNoLaterThanAFifthAfter) {
  testing::SimWorld world;
  const double target = 10.0;  // per cent on the rate random walk K: about half an hour
  const LoggedRun run = logStill(world.folder(), {"--samples", "480000", "--live-noise", "X Gyro",
                                                  "--until-resolved", "X Gyro/K:10"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("the run ended when every figure was resolved: X Gyro/K:10 at"),
            std::string::npos)
      << run.err;
  ASSERT_EQ(run.paths.size(), 2u);  // the log file and LIVE-noise.json
  EXPECT_EQ(run.paths[1], world.folder() + "/LIVE-noise.json");

  analysis::LogRecord record;
  analysis::LogError error;
  ASSERT_TRUE(analysis::ReadLogFiles({run.paths[0]}, record, error));
  const analysis::RateSeries s = analysis::SeriesForAnalysis(record, 0);
  ASSERT_LT(s.logged, 480000);  // the target, not the sample limit, ended it
  const auto now = relativeSigma(s.values, s.tau0, analysis::kTermK);
  ASSERT_TRUE(now);
  EXPECT_LE(*now, target * 1.01);

  // The first prefix of the record at which the offline fit had the figure.
  size_t first = s.values.size();
  for (int k = 1; k <= 100; ++k) {
    const std::vector<double> prefix(s.values.begin(),
                                     s.values.begin() + s.values.size() * k / 100);
    const auto p = relativeSigma(prefix, s.tau0, analysis::kTermK);
    if (p && *p <= target) {
      first = prefix.size();
      break;
    }
  }
  EXPECT_LE(double(s.values.size()), 1.2 * double(first));

  // The live result beside the file, in the noise command's form, under the channel's caption.
  std::ifstream json(run.paths[1]);
  const std::string text((std::istreambuf_iterator<char>(json)), std::istreambuf_iterator<char>());
  const QJsonObject c =
      QJsonDocument::fromJson(QByteArray::fromStdString(text))["channels"].toArray()[0].toObject();
  EXPECT_EQ(c["title"].toString(), "X Gyro");
  EXPECT_EQ(c["samples"].toInt(), int(s.values.size()));
  EXPECT_TRUE(c["terms"]["K"]["resolved"].toBool());
}

TEST(LiveNoiseLog, AWarmUpDriftIsFlaggedAndASteadyRecordIsNot) {
  struct Case {
    double warmUpDegPerSec;
    bool flagged;
  };
  for (const Case& k : {Case{0.0, false}, Case{1.0, true}}) {
    SCOPED_TRACE(k.warmUpDegPerSec);
    testing::SimWorld world;
    // Twenty minutes: a warm-up of two minutes' time constant settles within a tenth in about
    // five.
    const LoggedRun run = logStill(
        world.folder(), {"--samples", "80000", "--live-noise", "XGYRO_OUT"}, k.warmUpDegPerSec);
    ASSERT_EQ(run.status, 0) << run.err;
    const size_t at = run.err.find("X Gyro: the bias settled after ");
    EXPECT_EQ(at != std::string::npos, k.flagged) << run.err;
    if (k.flagged) {
      const double minutes = std::stod(run.err.substr(at + 31));
      EXPECT_GT(minutes, 3.0);
      EXPECT_LT(minutes, 8.0);
    }
  }
}

TEST(LiveNoiseLog, ATargetOnAChannelNotLoggedIsRefusedBeforeTheRun) {
  testing::SimWorld world;
  const LoggedRun run = logStill(world.folder(), {"--until-resolved", "Y Gyro/B:10"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("Y Gyro is not among the channels logged"), std::string::npos) << run.err;
  EXPECT_TRUE(run.paths.empty());
}

}  // namespace
}  // namespace vexa
