#include "analysis/allan_run.h"

#include <gtest/gtest.h>

#include "analysis/record_series.h"
#include "sim/sensor_random.h"

namespace vexa::analysis {
namespace {

std::vector<double> noise(size_t n, uint64_t seed) {
  sim::SensorRandom random(seed);
  std::vector<double> y(n);
  for (double& v : y) v = random.gaussian();
  return y;
}

TEST(AllanRun, GivesTheSameCurvesAsADirectComputationOrNoneWhenCancelled) {
  const auto a = noise(50000, 1), b = noise(20000, 2);
  AllanRun run;
  run.start({{"a", a, 0.01}, {"b", b, 0.5}});
  run.wait();
  ASSERT_TRUE(run.finished());
  EXPECT_FALSE(run.wasCancelled());
  EXPECT_DOUBLE_EQ(run.progress(), 1.0);
  const auto curves = run.takeCurves();
  ASSERT_EQ(curves.size(), 2u);
  const auto direct = OverlappingAllanDeviation(b, 0.5);
  ASSERT_EQ(curves[1].size(), direct.size());
  for (size_t i = 0; i < direct.size(); ++i) EXPECT_EQ(curves[1][i].adev, direct[i].adev);

  // Cancelled at once: it ends without curves; a new start runs again.
  run.start({{"long", noise(4 << 20, 3), 1.0}});
  run.cancel();
  run.wait();
  EXPECT_TRUE(run.finished());
  EXPECT_TRUE(run.wasCancelled());
  EXPECT_TRUE(run.takeCurves().empty());
  run.start({{"a", a, 0.01}});
  run.wait();
  EXPECT_EQ(run.takeCurves().size(), 1u);
}

TEST(RateSeries, RepeatedReadsAreLeftOutAtTheSensorsInterval) {
  LogRecord r;
  r.sampleInterval = 0.01;  // lines 10 ms apart
  LogChannel c;
  c.values = {1, 1, 2, 2, 3, 3, 4, 4};
  c.newData = {1, 0, 1, 0, 1, 0, 1, 0};
  r.channels = {c};
  RateSeries s = SeriesForAnalysis(r, 0);
  EXPECT_TRUE(s.freshOnly);
  EXPECT_EQ(s.values, (std::vector<double>{1, 2, 3, 4}));
  EXPECT_DOUBLE_EQ(s.tau0, 0.02);
  // A stated rate of the log's lines replaces the files' interval.
  EXPECT_DOUBLE_EQ(SeriesForAnalysis(r, 0, 50.0).tau0, 0.04);
  // Every read fresh (or none flagged): all samples as they are.
  r.channels[0].newData.assign(8, 1);
  s = SeriesForAnalysis(r, 0);
  EXPECT_FALSE(s.freshOnly);
  EXPECT_EQ(s.values.size(), 8u);
  EXPECT_DOUBLE_EQ(s.tau0, 0.01);
}

}  // namespace
}  // namespace vexa::analysis
