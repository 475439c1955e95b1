#include "analysis/span_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/sensor_random.h"

namespace vexa::analysis {
namespace {

TEST(SpanStatistics, OfASpanAndOfALargeOffset) {
  const std::vector<double> v = {9, 2, 4, 4, 4, 5, 5, 7, 9, -3};
  const SpanStatistics s = StatisticsOf(v, 1, 9);  // 2 4 4 4 5 5 7 9
  EXPECT_EQ(s.count, 8);
  EXPECT_DOUBLE_EQ(s.mean, 5.0);
  EXPECT_NEAR(s.standardDeviation, std::sqrt(32.0 / 7.0), 1e-12);
  EXPECT_EQ(s.min, 2);
  EXPECT_EQ(s.max, 9);
  EXPECT_EQ(StatisticsOf(v, 5, 5).count, 0);
  EXPECT_EQ(StatisticsOf(v, 9, 10).standardDeviation, 0.0);
  // A tiny spread on a big offset keeps its digits.
  const std::vector<double> big = {1e9 + 0.1, 1e9 + 0.2, 1e9 + 0.3};
  EXPECT_NEAR(StatisticsOf(big).standardDeviation, 0.1, 1e-7);
}

TEST(MinMaxEnvelope, KeepsEveryMinimumAndMaximum) {
  sim::SensorRandom random(4);
  std::vector<double> v(100003);
  for (double& x : v) x = random.gaussian();
  v[777] = 50.0;  // lone spikes must survive any zoom
  v[99000] = -50.0;
  for (const auto& [first, last, buckets] : std::vector<std::tuple<int64_t, int64_t, int>>{
           {0, 100003, 640}, {500, 90000, 1333}, {770, 790, 1000}, {0, 100003, 1}}) {
    const Envelope e = MinMaxEnvelope(v, first, last, buckets);
    const int64_t count = std::min<int64_t>(buckets, last - first);
    ASSERT_EQ(int64_t(e.low.size()), count);
    EXPECT_EQ(e.firstSample.front(), first);
    for (int64_t b = 0; b < count; ++b) {
      const int64_t to = b + 1 < count ? e.firstSample[b + 1] : last;
      ASSERT_LT(e.firstSample[b], to);  // buckets tile the span without gaps
      const auto [lo, hi] = std::minmax_element(v.begin() + e.firstSample[b], v.begin() + to);
      EXPECT_EQ(e.low[b], *lo);
      EXPECT_EQ(e.high[b], *hi);
    }
    EXPECT_EQ(*std::max_element(e.high.begin(), e.high.end()),
              *std::max_element(v.begin() + first, v.begin() + last));
    EXPECT_EQ(*std::min_element(e.low.begin(), e.low.end()),
              *std::min_element(v.begin() + first, v.begin() + last));
  }
}

}  // namespace
}  // namespace vexa::analysis
