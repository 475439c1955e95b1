// End to end: the still simulated sensor logged with `vexa-cli log`, then `vexa-cli adev` on the
// files, reads back the sensor's stated angle and velocity random walk and bias instability.
// The command line runs on virtual time: two hours of log take seconds.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "cli/cli.h"
#include "platform/platform_set.h"
#include "platform/sim/sensor_noise.h"
#include "platform/sim/sim_clock.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

double figure(const std::string& text, const std::string& name, int occurrence = 0) {
  const std::regex pattern(name + ": (below )?([0-9.eE+-]+)");
  auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
  for (int i = 0; i < occurrence && it != std::sregex_iterator(); ++i) ++it;
  return it == std::sregex_iterator() ? -1.0 : std::stod((*it)[2]);
}

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
  ASSERT_EQ(cli::RunCli({"--simulate-still", "--interface", "usb", "log", "--samples", "120000",
                         "--files", "4", "--delay", "15", "--name", "STILL", "--dir",
                         folder.folder(), "XGYRO_OUT", "XACCL_OUT"},
                        logged, err, environment),
            0)
      << err.str();
  std::vector<std::string> args = {"adev"};
  std::istringstream paths(logged.str());
  for (std::string path; std::getline(paths, path);) args.push_back(path);
  ASSERT_EQ(args.size(), 5u) << logged.str();
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
  EXPECT_NEAR(figure(text, "velocity random walk") / stated.accel.randomWalk, 1.0, 0.15);
  EXPECT_NEAR(figure(text, "bias instability", 1) / stated.accel.biasInstability, 1.0, 0.3);
  EXPECT_EQ(text.find("below"), std::string::npos);  // both floors inside the record
}

}  // namespace
}  // namespace vexa
