#include "analysis/live_noise.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim/sensor_noise.h"

namespace vexa::analysis {
namespace {

TEST(LiveNoise, TargetsAreReadAsCaptionTermAndPercent) {
  struct Case {
    const char* text;
    bool ok;
    const char* caption;
    int term;
    double percent;
  };
  for (const Case& c :
       {Case{"X Gyro/B:10", true, "X Gyro", kTermB, 10.0},
        Case{"Z Accel/N:2.5", true, "Z Accel", kTermN, 2.5}, Case{"X Gyro/Z:10", false, "", 0, 0},
        Case{"X Gyro/B", false, "", 0, 0}, Case{"X Gyro/B:0", false, "", 0, 0},
        Case{"X Gyro/B:ten", false, "", 0, 0}, Case{"/B:10", false, "", 0, 0}}) {
    SCOPED_TRACE(c.text);
    ResolveTarget t;
    std::string error;
    ASSERT_EQ(ParseResolveTarget(c.text, t, error), c.ok) << error;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(t.caption, c.caption);
    EXPECT_EQ(t.term, c.term);
    EXPECT_EQ(t.percent, c.percent);
    EXPECT_EQ(ResolveTargetText(t), c.text);
  }
}

TEST(LiveNoise, TimeLeftTakesTheUncertaintyToFallAsTheRootOfTheLength) {
  // 10 % at 100 s falling as the root of the length reaches 5 % at 400 s: 300 s left, and
  // a last fit that jumped 30 % up moves that little.
  std::vector<UncertaintyAt> h;
  for (double t = 40; t <= 100; t += 5) h.push_back({t, 10.0 * std::sqrt(100.0 / t)});
  ASSERT_TRUE(SecondsLeft(h, 5.0));
  EXPECT_NEAR(*SecondsLeft(h, 5.0), 300.0, 1e-6);
  h.back().percent *= 1.3;
  EXPECT_NEAR(*SecondsLeft(h, 5.0), 300.0, 60.0);
  EXPECT_EQ(SecondsLeft({{100.0, 4.0}}, 5.0), 0.0);
  EXPECT_FALSE(SecondsLeft({{100.0, 0.0}}, 5.0));  // not resolved: nothing to say
}

TEST(LiveNoise, TimeLeftAtAQuarterOfTheRecordIsWithinThirtyPerCentOfWhatItTook) {
  const double tau0 = 1.0 / 52.8;
  const auto units = sim::GyroNoiseInUnits({0.4, 50.0, 600.0});
  sim::AxisNoise noise(units[0], units[1], units[2], 21);
  LiveNoiseChannel live("X Gyro", "deg/sec", SensorKind::Gyro);
  const double target = 5.0;                         // per cent on the rate random walk K
  std::vector<std::pair<double, double>> estimates;  // record seconds, seconds left
  std::vector<double> block;
  double end = 0;
  for (int64_t n = 0; n < 2000000;) {
    const int64_t step = std::max<int64_t>(2048, n / 64);
    block.resize(size_t(step));
    for (double& v : block) v = 0.35 + noise.next(tau0);
    live.add(block.data(), block.size());
    n += step;
    const LiveFigures f = live.figures(tau0);
    const auto p = RelativeSigmaPercent(f.noise.model.terms[kTermK]);
    if (p && *p <= target) {
      end = f.seconds;
      break;
    }
    if (const auto left = live.secondsLeft(kTermK, target)) estimates.push_back({f.seconds, *left});
  }
  ASSERT_GT(end, 0.0);
  ASSERT_FALSE(estimates.empty());
  auto quarter = estimates.front();
  for (const auto& e : estimates)
    if (std::abs(e.first - end / 4) < std::abs(quarter.first - end / 4)) quarter = e;
  const double took = end - quarter.first;
  EXPECT_NEAR(quarter.second / took, 1.0, 0.3) << "at " << quarter.first << " s of " << end;
}

TEST(LiveNoise, AWarmUpIsFoundWhereTheMeanSettlesAndNotInAWanderOrARamp) {
  struct Case {
    const char* what;
    double amplitude;  // exponential warm-up, in block-scatter units
    double ramp;       // per block
    bool found;
  };
  const double tc = 10.0;  // blocks
  for (const Case& c : {Case{"wander", 0.0, 0.0, false}, Case{"warm-up", 200.0, 0.0, true},
                        Case{"ramp", 0.0, 0.5, false}}) {
    SCOPED_TRACE(c.what);
    sim::SensorRandom random(5);
    std::vector<double> b(128);
    double walk = 0;
    for (size_t j = 0; j < b.size(); ++j) {
      walk += random.gaussian();
      b[j] = walk + c.amplitude * std::exp(-double(j) / tc) + c.ramp * double(j);
    }
    const WarmUp w = DetectWarmUp(b, 60.0);
    EXPECT_EQ(w.found, c.found);
    // Settled within a tenth of 200: e^(-j/10) < 0.1 from j = 23, give or take the wander.
    if (c.found) {
      EXPECT_NEAR(w.settledAfterSeconds / 60.0, 23.0, 6.0);
    }
  }
}

}  // namespace
}  // namespace vexa::analysis
