// End to end: a still simulated sensor logged to files, then `vexa-cli adev` on them, reads
// back the sensor's stated noise figures.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "analysis/log_text.h"
#include "cli/cli.h"
#include "platform/sim/sensor_bus.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_sensor.h"
#include "platform/sim/still_bench.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

double figure(const std::string& text, const std::string& name, int occurrence = 0) {
  const std::regex pattern(name + ": (below )?([0-9.eE+-]+)");
  auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
  for (int i = 0; i < occurrence && it != std::sregex_iterator(); ++i) ++it;
  return it == std::sregex_iterator() ? -1.0 : std::stod((*it)[2]);
}

TEST(StillRecord, AllanDeviationOfALoggedStillRecordGivesTheStatedFigures) {
  testing::SimWorld world;
  sim::SimClock clock(36000.0);
  sim::SimSensorConfig config;
  sim::LieStill(config);
  sim::SimSensor sensor(clock, config);
  testing::SensorBus bus(sensor);
  const double gyroLsb = 0.05;  // deg/sec per count at the factory range
  const double accelLsb = bus.table().RegScale[XACCL_OUT];

  // Two hours read every 15 ms (faster than the sensor samples), four files of 30 minutes.
  constexpr int kFiles = 4;
  constexpr int kPerFile = 120000;
  constexpr double kReadEvery = 0.015;
  std::vector<std::string> files;
  for (int f = 1; f <= kFiles; ++f) {
    testing::LogColumn gyro{"XgND", "X Gryo", {}, {}};
    testing::LogColumn accel{"XaND", "X acc", {}, {}};
    const double begin = clock.secondsSinceMidnight();
    for (int s = 0; s < kPerFile; ++s) {
      clock.advance(kReadEvery);
      for (auto* column : {&gyro, &accel}) {
        const bool isGyro = column == &gyro;
        const uint16_t word = bus.word(isGyro ? XGYRO_OUT : XACCL_OUT);
        const int32_t raw = (word & 0x1FFF) - (word & 0x2000);  // 14 bits, two's complement
        column->values.push_back(static_cast<float>(raw * (isGyro ? gyroLsb : accelLsb)));
        column->newData.push_back((word & 0x8000) ? 1 : 0);
      }
    }
    const double end = clock.secondsSinceMidnight();
    const std::string name = "STILL_" + std::to_string(f) + ".csv";
    testing::WriteText(world.folder() + "/" + name,
                       testing::LogText(name, {gyro, accel}, begin, end));
    files.push_back(world.folder() + "/" + name);
  }

  std::vector<std::string> args = {"adev"};
  args.insert(args.end(), files.rbegin(), files.rend());  // any order: the session sorts itself
  for (const char* c : {"--channel", "X Gyro", "--channel", "X Accel"}) args.push_back(c);
  std::ostringstream out, err;
  ASSERT_EQ(cli::RunCli(args, out, err), 0) << err.str();
  const std::string text = out.str();
  SCOPED_TRACE(text);

  const auto& stated = config.noiseModel;
  EXPECT_NEAR(figure(text, "angle random walk") / stated.gyro.randomWalk, 1.0, 0.15);
  EXPECT_NEAR(figure(text, "bias instability", 0) / stated.gyro.biasInstability, 1.0, 0.3);
  EXPECT_NEAR(figure(text, "velocity random walk") / stated.accel.randomWalk, 1.0, 0.15);
  EXPECT_NEAR(figure(text, "bias instability", 1) / stated.accel.biasInstability, 1.0, 0.3);
  EXPECT_EQ(text.find("below"), std::string::npos);  // both floors inside the record
}

}  // namespace
}  // namespace vexa
