#include "analysis/allan_deviation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "sim/sensor_noise.h"
#include "sim/sensor_random.h"

namespace vexa::analysis {
namespace {

constexpr double kPi = 3.141592653589793;

std::vector<double> whiteNoise(size_t n, double sigma, uint64_t seed) {
  sim::SensorRandom random(seed);
  std::vector<double> y(n);
  for (double& v : y) v = sigma * random.gaussian();
  return y;
}

double slopeBetween(const AllanPoint& a, const AllanPoint& b) {
  return std::log(b.adev / a.adev) / std::log(b.tau / a.tau);
}

TEST(AllanDeviation, WhiteNoiseFallsAsSigmaOverRootTauInsideItsBounds) {
  const double tau0 = 0.01;
  const double density = 0.02;  // units x sqrt(s)
  const auto y = whiteNoise(200000, density / std::sqrt(tau0), 7);
  AllanOptions wide;
  wide.confidence = 0.99;
  const auto curve = OverlappingAllanDeviation(y, tau0, wide);
  ASSERT_EQ(curve.size(), 15u);  // 1 .. 16384 samples, up to a tenth of the record
  EXPECT_EQ(curve.front().m, 1);
  EXPECT_LE(curve.back().m, 20000);
  for (const auto& p : curve) {
    const double truth = density / std::sqrt(p.tau);
    EXPECT_LE(p.low, truth) << "tau " << p.tau;
    EXPECT_GE(p.high, truth) << "tau " << p.tau;
    EXPECT_LT(p.low, p.adev);
    EXPECT_GT(p.high, p.adev);
  }
  // Bounds widen as the clusters get fewer.
  EXPECT_LT(curve[2].high / curve[2].low, curve.back().high / curve.back().low);
}

TEST(AllanDeviation, KnownShapes) {
  const double tau0 = 1.0;
  // A rate random walk of K units/sqrt(s): sqrt(tau / 3) K, slope +1/2.
  {
    const double K = 0.5;
    sim::SensorRandom random(3);
    std::vector<double> y(400000);
    double b = 0.0;
    for (double& v : y) v = (b += K * std::sqrt(tau0) * random.gaussian());
    const auto c = OverlappingAllanDeviation(y, tau0);
    EXPECT_NEAR(slopeBetween(c[4], c[10]), 0.5, 0.08);
    EXPECT_NEAR(c[8].adev / (K * std::sqrt(c[8].tau / 3.0)), 1.0, 0.25);
  }
  // A constant: zero at every cluster time.
  {
    const auto c = OverlappingAllanDeviation(std::vector<double>(1000, 123.456), tau0);
    ASSERT_FALSE(c.empty());
    for (const auto& p : c) EXPECT_NEAR(p.adev, 0.0, 1e-9);
  }
  // A sine A sin(2 pi f t): A sin^2(pi f tau) / (pi f tau), zero at whole periods.
  {
    const double A = 2.0;
    const double f = 1.0 / 64.0;
    std::vector<double> y(64 * 400);
    for (size_t k = 0; k < y.size(); ++k) y[k] = A * std::sin(2 * kPi * f * (double(k) + 0.5));
    const auto c = OverlappingAllanDeviation(y, tau0);
    for (const auto& p : c) {
      const double x = kPi * f * p.tau;
      const double expected = A * std::sin(x) * std::sin(x) / x;
      EXPECT_NEAR(p.adev, expected, 0.01 * A) << "tau " << p.tau;
    }
    EXPECT_NEAR(c[6].adev, 0.0, 1e-6);  // tau = 64, one whole period
  }
  // Too short, or no interval: nothing.
  EXPECT_TRUE(OverlappingAllanDeviation({1.0, 2.0}, 1.0).empty());
  EXPECT_TRUE(OverlappingAllanDeviation({1.0, 2.0, 3.0}, 0.0).empty());
}

TEST(AllanDeviation, OverlappingAgreesWithNonOverlappingOnALongRecord) {
  const auto y = whiteNoise(1 << 20, 1.0, 11);
  const auto curve = OverlappingAllanDeviation(y, 0.5);
  for (const auto& p : curve) {
    if (p.m > 1024) break;  // beyond, the plain estimate has too few clusters
    EXPECT_NEAR(NonOverlappingAllanDeviation(y, 0.5, p.m) / p.adev, 1.0, 0.1) << "m " << p.m;
  }
}

TEST(AllanDeviation, ReadsOffRandomWalkAndBiasInstabilityOfAMixture) {
  // White noise N and flicker B from the simulated sensor's noise model; their lines cross
  // near 1 s, the floor lies at 0.664 B beyond.
  const double tau0 = 0.01;
  const double N = 0.003;
  const double B = 0.002;
  sim::AxisNoise noise(N, B, 0.0, 5);
  std::vector<double> y(1 << 21);
  for (double& v : y) v = 100.0 + noise.next(tau0);
  const auto curve = OverlappingAllanDeviation(y, tau0);
  const AllanReadOffs r = ReadOffs(curve);
  ASSERT_TRUE(r.randomWalkFound);
  EXPECT_NEAR(r.randomWalk / N, 1.0, 0.1);
  EXPECT_LT(r.randomWalkTau, 0.2);
  ASSERT_TRUE(r.floorFound);
  EXPECT_NEAR(r.biasInstability / B, 1.0, 0.2);
  EXPECT_GT(r.floorTau, 2.0);

  const ReadOffText gyro = CustomaryReadOffs(r, "deg/sec");
  EXPECT_DOUBLE_EQ(gyro.randomWalk, r.randomWalk * 60);
  EXPECT_EQ(gyro.randomWalkUnits, "deg/sqrt(h)");
  EXPECT_DOUBLE_EQ(gyro.biasInstability, r.biasInstability * 3600);
  EXPECT_EQ(CustomaryReadOffs(r, "g").biasUnits, "mg");
}

// White noise alone has no floor, however its last points scatter; a rate random walk
// turning the curve up gives one.
TEST(AllanDeviation, FloorOnlyWhereTheCurveFlattensOrTurnsUp) {
  struct Case {
    double walk;  // rate random walk per sample
    bool floor;
  };
  for (const Case c : {Case{0.0, false}, Case{0.002, true}}) {
    int floors = 0;
    for (uint64_t seed = 1; seed <= 24; ++seed) {
      auto y = whiteNoise(200000, 1.0, seed);
      sim::SensorRandom random(seed + 100);
      double bias = 0.0;
      for (double& v : y) v += (bias += c.walk * random.gaussian());
      floors += ReadOffs(OverlappingAllanDeviation(y, 0.01)).floorFound;
    }
    EXPECT_EQ(floors, c.floor ? 24 : 0) << "walk " << c.walk;
  }
}

TEST(AllanDeviation, ReportsProgressAndCancels) {
  const auto y = whiteNoise(3 << 20, 1.0, 1);
  std::vector<double> shares;
  const auto full = OverlappingAllanDeviation(y, 1.0, {}, [&](double s) {
    shares.push_back(s);
    return true;
  });
  ASSERT_FALSE(full.empty());
  EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
  EXPECT_NEAR(shares.back(), 1.0, 1e-9);
  int calls = 0;
  const auto cancelled = OverlappingAllanDeviation(y, 1.0, {}, [&](double) { return ++calls < 3; });
  EXPECT_TRUE(cancelled.empty());
  EXPECT_EQ(calls, 3);
}

TEST(AllanDeviation, DegreesOfFreedomAndChiSquared) {
  // Chi-squared medians and tails against tabulated values.
  EXPECT_NEAR(ChiSquaredQuantile(0.5, 10), 9.342, 0.02);
  EXPECT_NEAR(ChiSquaredQuantile(0.975, 30), 46.98, 0.1);
  EXPECT_NEAR(ChiSquaredQuantile(0.025, 30), 16.79, 0.1);
  // White rate noise at m = 1: about 3N/2 degrees; fewer for longer clusters and redder noise.
  EXPECT_NEAR(AllanEdf(1001, 1, -1), (1.5 * 1000 - 2 * 999.0 / 1001) * 4 / 9, 1e-9);
  EXPECT_GT(AllanEdf(1001, 1, -1), AllanEdf(1001, 8, -1));
  EXPECT_GT(AllanEdf(1001, 8, -1), AllanEdf(1001, 8, 1));
}

TEST(AllanReadOffs, AreWithheldWhereTheRecordCannotTellThem) {
  const auto white = whiteNoise(100000, 0.2, 11);
  const auto plus = [&](const std::function<double(size_t)>& f) {
    std::vector<double> y = white;
    for (size_t i = 0; i < y.size(); ++i) y[i] += f(i);
    return y;
  };
  // The sensor's averaging filter at its longest: 64 taps over the white noise.
  std::vector<double> filtered(white.size() - 63);
  for (size_t i = 0; i < filtered.size(); ++i) {
    for (size_t k = 0; k < 64; ++k) filtered[i] += white[i + k];
    filtered[i] /= 64.0;
  }
  struct Case {
    const char* name;
    std::vector<double> y;
    ReadOffValidity validity;
  };
  const std::vector<Case> cases = {
      {"white noise", white, ReadOffValidity::Valid},
      {"white noise through 64 taps", filtered, ReadOffValidity::Valid},
      {"a slow rocking", plus([](size_t i) { return 20.0 * std::sin(2 * kPi * double(i) / 4000); }),
       ReadOffValidity::NotStill},
      {"a drift", plus([](size_t i) { return 1e-4 * double(i); }), ReadOffValidity::NotStill},
      {"79 samples", std::vector<double>(white.begin(), white.begin() + 79),
       ReadOffValidity::TooShort},
      {"a stuck channel", std::vector<double>(1000, 0.5), ReadOffValidity::NoVariation},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const AllanReadOffs r = ReadOffs(OverlappingAllanDeviation(c.y, 0.001));
    EXPECT_EQ(r.validity, c.validity);
    EXPECT_EQ(ReadOffValidityText(r.validity).empty(), c.validity == ReadOffValidity::Valid);
  }
}

// The noise type behind each point's bounds, read from the variance's slope (twice the
// deviation's): each type from its own deviation slope, and slopes just either side of each
// half-way boundary between types.
TEST(AllanDeviation, NoiseTypeFromTheVarianceSlopeOnBothSidesOfEachBoundary) {
  struct Case {
    double deviationSlope;
    int type;
  };
  const Case cases[] = {{-1.0, -2},  {-0.5, -1},  {0.0, 0},   {0.5, 1},  {-0.78, -2},
                        {-0.72, -1}, {-0.28, -1}, {-0.22, 0}, {0.22, 0}, {0.28, 1}};
  for (const Case c : cases) {
    std::vector<AllanPoint> curve(5);
    for (size_t i = 0; i < curve.size(); ++i) {
      curve[i].tau = std::pow(2.0, double(i));
      curve[i].adev = std::pow(curve[i].tau, c.deviationSlope);
    }
    for (size_t i = 0; i < curve.size(); ++i)
      EXPECT_EQ(AllanNoiseSlope(curve, i), c.type) << "slope " << c.deviationSlope << " i " << i;
  }
  // Quantisation falls fastest, so it rules from the start or nowhere: a steep fall of the last
  // sparse points after white rate noise is chance, and keeps white rate's degrees of freedom.
  std::vector<AllanPoint> steepEnd(6);
  for (size_t i = 0; i < steepEnd.size(); ++i) {
    steepEnd[i].tau = std::pow(2.0, double(i));
    steepEnd[i].adev = std::pow(steepEnd[i].tau, i < 3 ? -0.5 : -1.0) * (i < 3 ? 1.0 : 2.0);
  }
  EXPECT_EQ(AllanNoiseSlope(steepEnd, 5), -1);
  EXPECT_EQ(AllanNoiseSlope(steepEnd, 4), -1);
}

// On generated noise of each type the bounds use that type's degrees of freedom: white phase
// (quantisation: a white angle error differenced into the rate), white rate, flicker (the
// simulated sensor's bias instability) and rate random walk.
TEST(AllanDeviation, BoundsUseTheDegreesOfFreedomOfTheNoiseTheRecordHolds) {
  const size_t n = 1 << 18;
  sim::SensorRandom random(21);
  std::vector<double> phase(n), rate(n), walk(n), flicker(n);
  double previous = 0.0, bias = 0.0;
  sim::AxisNoise flickerOnly(0.0, 1.0, 0.0, 4);
  for (size_t k = 0; k < n; ++k) {
    const double e = random.gaussian();
    phase[k] = e - previous;
    previous = e;
    rate[k] = random.gaussian();
    walk[k] = (bias += random.gaussian());
    flicker[k] = flickerOnly.next(1.0);
  }
  struct Case {
    const std::vector<double>* y;
    int type;
    size_t from, to;  // the points checked (the flicker model is flat only in its middle)
  };
  for (const Case c : {Case{&phase, -2, 0, 12}, Case{&rate, -1, 0, 12}, Case{&flicker, 0, 3, 9},
                       Case{&walk, 1, 0, 12}}) {
    const auto curve = OverlappingAllanDeviation(*c.y, 1.0);
    ASSERT_GE(curve.size(), c.to);
    for (size_t i = c.from; i < c.to; ++i)
      EXPECT_DOUBLE_EQ(curve[i].edf, AllanEdf(double(n + 1), double(curve[i].m), c.type))
          << "type " << c.type << " m " << curve[i].m;
  }
}

}  // namespace
}  // namespace vexa::analysis
