#include "sim/sensor_noise.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/allan_deviation.h"

namespace vexa::sim {
namespace {

TEST(SensorNoise, FlickerTermsMakeAFlatFloorAtTheStatedBiasInstability) {
  // The weighted Gauss-Markov terms: 0.664 B, flat within a few per cent over four decades.
  for (double tau = 0.1; tau <= 1000.0; tau *= 3.0)
    EXPECT_NEAR(AxisNoise::flickerDeviationPerUnit(tau), 0.664, 0.04) << "tau " << tau;
}

TEST(SensorNoise, RateRandomWalkRisesAsRootTauOverThree) {
  const double K = 0.01;  // units / sqrt(s)
  AxisNoise noise(0.0, 0.0, K, 3);
  std::vector<double> y(200000);
  for (double& v : y) v = noise.next(0.1);
  const auto curve = analysis::OverlappingAllanDeviation(y, 0.1);
  for (const auto& p : curve) {
    if (p.tau < 10.0) continue;
    EXPECT_NEAR(p.adev / (K * std::sqrt(p.tau / 3.0)), 1.0, 0.3) << p.tau;
  }
}

TEST(SensorNoise, StatedFiguresInTheOutputsUnits) {
  const auto g = GyroNoiseInUnits({2.0, 50.0, 30.0});
  EXPECT_DOUBLE_EQ(g[0], 2.0 / 60);          // deg/sqrt(h) -> deg/sec x sqrt(s)
  EXPECT_DOUBLE_EQ(g[1], 50.0 / 3600);       // deg/h -> deg/sec
  EXPECT_DOUBLE_EQ(g[2], 30.0 / 3600 / 60);  // deg/h/sqrt(h) -> deg/sec/sqrt(s)
  const auto a = AccelNoiseInUnits({0.2, 0.2, 0.05});
  EXPECT_DOUBLE_EQ(a[0], 0.2 / 60 / 9.80665);  // m/s/sqrt(h) -> g x sqrt(s)
  EXPECT_DOUBLE_EQ(a[1], 0.0002);              // mg -> g
}

}  // namespace
}  // namespace vexa::sim
