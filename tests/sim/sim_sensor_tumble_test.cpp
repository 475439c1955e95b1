// The tumbling bench of the magnetometer calibration: a consistent motion through every
// orientation, and the ordinary bench back unchanged when it ends.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/sphere_coverage.h"
#include "sim/sensor_tumble.h"
#include "sim_sensor_rig.h"

namespace vexa::testing {
namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

double norm(const sim::Vec3& v) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

TEST(SimSensorTumble, TurnsThroughEveryOrientationWithMatchingRates) {
  const sim::BenchMotionConfig config;
  const sim::TumbleMotion tumble(config);
  const analysis::SphereBins bins;
  std::vector<analysis::Vec3> directions;
  for (double t = 0.0; t < 60.0; t += 0.02) {
    const sim::BenchState s = tumble.at(t);
    directions.push_back({s.fieldMilliGauss[0], s.fieldMilliGauss[1], s.fieldMilliGauss[2]});
    if (std::fmod(t, 1.0) > 0.02) continue;
    ASSERT_NEAR(norm(s.accelG), 1.0, 1e-9);
    ASSERT_NEAR(norm(s.fieldMilliGauss), norm(config.earthFieldMilliGauss), 1e-6);
    // A level-frame vector seen from the body turns against the body rate: dg/dt = -w x g.
    const double h = 1e-3;
    const sim::Vec3 g0 = tumble.at(t - h).accelG, g1 = tumble.at(t + h).accelG;
    const sim::Vec3& g = s.accelG;
    sim::Vec3 w;
    for (int a = 0; a < 3; ++a) w[a] = s.rateDegPerSec[a] * kDegToRad;
    const sim::Vec3 cross = {w[1] * g[2] - w[2] * g[1], w[2] * g[0] - w[0] * g[2],
                             w[0] * g[1] - w[1] * g[0]};
    for (int a = 0; a < 3; ++a) EXPECT_NEAR((g1[a] - g0[a]) / (2 * h), -cross[a], 1e-4) << t;
    EXPECT_LT(norm(s.rateDegPerSec), 300.0) << "within the gyros' range";
  }
  EXPECT_GT(analysis::CoverageOf(bins, directions, {0, 0, 0}, {1, 1, 1}).percent, 90.0);
}

TEST(SimSensorTumble, TheBenchIsUnchangedOnceTheTumbleEnds) {
  SensorRig tumbled(sim::SimSensorConfig{}), still(sim::SimSensorConfig{});
  tumbled.wait(1.0);
  still.wait(1.0);
  tumbled.sensor.setTumbling(true);
  tumbled.wait(2.0);
  still.wait(2.0);
  EXPECT_NE(tumbled.bus.read(ZACCL_OUT), still.bus.read(ZACCL_OUT)) << "turned over";
  tumbled.sensor.setTumbling(false);
  for (int i = 0; i < 5; ++i) {
    tumbled.wait(0.3);
    still.wait(0.3);
    for (int16_t r = SUPPLY_OUT; r <= AUX_ADC; ++r)
      EXPECT_EQ(tumbled.bus.read(r), still.bus.read(r)) << r;
  }
}

}  // namespace
}  // namespace vexa::testing
