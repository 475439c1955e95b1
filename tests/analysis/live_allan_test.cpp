#include "analysis/live_allan.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim/sensor_noise.h"
#include "sim/sensor_random.h"

namespace vexa::analysis {
namespace {

// A gyro at rest on the simulated sensor's noise model, with a bias far above its noise.
std::vector<double> stillGyro(size_t n, double tau0, uint64_t seed) {
  const auto units = sim::GyroNoiseInUnits({0.4, 50.0, 600.0});
  sim::AxisNoise noise(units[0], units[1], units[2], seed);
  std::vector<double> y(n);
  for (double& v : y) v = 0.35 + noise.next(tau0);
  return y;
}

LiveAllanCurve streamed(const std::vector<double>& y, size_t chunk, LiveAllanLimits limits,
                        double tau0) {
  LiveAllan live(limits);
  for (size_t i = 0; i < y.size(); i += chunk)
    live.add(y.data() + i, std::min(chunk, y.size() - i));
  return live.curve(tau0);
}

TEST(LiveAllan, EveryClusterTimeInTheExactRangeEqualsTheOfflineCurve) {
  const double tau0 = 1.0 / 819.2;
  const auto y = stillGyro(300000, tau0, 11);
  const auto offline = OverlappingAllanDeviation(y, tau0);
  // However the samples arrive: one at a time, in odd pieces, in large blocks.
  for (size_t chunk : {size_t(1), size_t(7), size_t(5000), y.size()}) {
    SCOPED_TRACE(chunk);
    const LiveAllanCurve live = streamed(y, chunk, {}, tau0);
    ASSERT_EQ(live.points.size(), offline.size());
    EXPECT_EQ(live.firstEstimated, live.points.size());
    for (size_t i = 0; i < offline.size(); ++i) {
      EXPECT_EQ(live.points[i].m, offline[i].m);
      EXPECT_NEAR(live.points[i].adev / offline[i].adev, 1.0, 1e-9) << "m " << offline[i].m;
      EXPECT_NEAR(live.points[i].high / offline[i].high, 1.0, 1e-9) << "m " << offline[i].m;
    }
  }
}

TEST(LiveAllan, LongClusterTimesFromTheThinnedIntegralAreMarkedAndWithinTwoPerCent) {
  const double tau0 = 1.0 / 819.2;
  const auto y = stillGyro(1500000, tau0, 12);
  const auto offline = OverlappingAllanDeviation(y, tau0);
  LiveAllanLimits small;
  small.exactClusterMax = 1024;
  small.storedPoints = 1 << 15;  // thinned to every 64th point by the end
  const LiveAllanCurve live = streamed(y, 4093, small, tau0);
  ASSERT_EQ(live.points.size(), offline.size());
  ASSERT_EQ(live.firstEstimated, 11u);  // 1 .. 1024 exact
  for (size_t i = 0; i < offline.size(); ++i) {
    const double tolerance = i < live.firstEstimated ? 1e-9 : 0.02;
    EXPECT_NEAR(live.points[i].adev / offline[i].adev, 1.0, tolerance) << "m " << offline[i].m;
  }
}

TEST(LiveAllan, MemoryStaysAtItsLimitsWhateverTheLength) {
  LiveAllanLimits small;
  small.exactClusterMax = 256;
  small.storedPoints = 1 << 12;
  LiveAllan live(small);
  std::vector<double> block(100000, 1.0);
  live.add(block.data(), block.size());
  const size_t early = live.bytes();
  for (int i = 0; i < 30; ++i) live.add(block.data(), block.size());
  EXPECT_EQ(live.bytes(), early);
}

TEST(LiveAllan, BlockMeansFollowTheRecordsMean) {
  LiveAllan live;
  std::vector<double> y(20000);
  for (size_t i = 0; i < y.size(); ++i) y[i] = i < 10000 ? 1.0 : 3.0;
  live.add(y.data(), y.size());
  int64_t per = 0;
  const auto means = live.blockMeans(5000, per);
  ASSERT_EQ(per, 5000);
  ASSERT_EQ(means.size(), 4u);
  EXPECT_NEAR(means[0], 1.0, 1e-12);
  EXPECT_NEAR(means[3], 3.0, 1e-12);
}

}  // namespace
}  // namespace vexa::analysis
