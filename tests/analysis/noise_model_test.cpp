#include "analysis/noise_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/noise_characterisation.h"
#include "analysis/noise_density.h"
#include "sim/sensor_random.h"

namespace vexa::analysis {
namespace {

// A curve that follows the model exactly, at octaves from 0.01 s, every point on many degrees
// of freedom.
std::vector<AllanPoint> exactCurve(const std::array<double, kNoiseTerms>& coefficients) {
  std::vector<AllanPoint> curve;
  for (int k = 0; k < 18; ++k) {
    AllanPoint p;
    p.m = int64_t(1) << k;
    p.tau = 0.01 * double(p.m);
    double v = 0.0;
    for (int j = 0; j < kNoiseTerms; ++j)
      v += coefficients[size_t(j)] * coefficients[size_t(j)] * NoiseTermBasis(j, p.tau);
    p.adev = std::sqrt(v);
    p.edf = 1e4;
    curve.push_back(p);
  }
  return curve;
}

TEST(NoiseModel, RecoversTheTermsOfAnExactCurveAndOnlyThose) {
  struct Case {
    std::array<double, kNoiseTerms> terms;  // Q, N, B, K, R; zero: absent
  };
  for (const Case c : {Case{{0.0, 0.01, 0.0, 0.0, 0.0}}, Case{{0.0, 0.01, 0.002, 1e-4, 0.0}},
                       Case{{2e-4, 0.01, 0.002, 1e-4, 3e-6}}, Case{{1e-3, 0.0, 0.0, 0.0, 0.0}},
                       Case{{0.0, 0.0, 0.0, 0.0, 1e-5}}}) {
    const NoiseModel m = FitNoiseModel(exactCurve(c.terms));
    ASSERT_TRUE(m.ok);
    for (int j = 0; j < kNoiseTerms; ++j) {
      const NoiseTerm& t = m.terms[size_t(j)];
      SCOPED_TRACE(kNoiseTermNames[size_t(j)]);
      EXPECT_EQ(t.resolved, c.terms[size_t(j)] > 0.0);
      if (t.resolved) {
        EXPECT_NEAR(t.value / c.terms[size_t(j)], 1.0, 1e-6);
        EXPECT_GT(t.sigma, 0.0);
        EXPECT_LT(t.sigma, t.value / 3.0);
      }
    }
    double v = 0.0;
    for (int j = 0; j < kNoiseTerms; ++j)
      v += c.terms[size_t(j)] * c.terms[size_t(j)] * NoiseTermBasis(j, 3.7);
    EXPECT_NEAR(m.deviation(3.7) / std::sqrt(v), 1.0, 1e-6);
  }
}

// A point that scatters low must not pull the fit more than one scattering high: the weights
// come from the model, not from the point.
TEST(NoiseModel, WeighsPointsByTheirConfidenceAboutTheModel) {
  auto curve = exactCurve({0.0, 0.01, 0.0, 0.0, 0.0});
  for (auto& p : curve) p.edf = 50.0;
  for (size_t i = 0; i < curve.size(); ++i) curve[i].adev *= i % 2 ? 1.1 : 1.0 / 1.1;
  const NoiseModel m = FitNoiseModel(curve);
  EXPECT_NEAR(m.terms[kTermN].value / 0.01, 1.0, 0.02);
  // A held term's bound covers what the record allows and no more than it could see.
  EXPECT_FALSE(m.terms[kTermB].resolved);
  EXPECT_GT(m.terms[kTermB].value, 0.0);
  EXPECT_LT(m.terms[kTermB].value, 2.0 * 0.01 / std::sqrt(curve.back().tau));
}

// White noise alone: the fit must not invent a bias instability or a rate random walk from
// the scatter of the last few points.
TEST(NoiseModel, WhiteNoiseAloneLeavesBAndKUnresolved) {
  int claimedB = 0, claimedK = 0;
  for (uint64_t seed = 1; seed <= 100; ++seed) {
    sim::SensorRandom random(seed);
    std::vector<double> y(100000);
    for (double& v : y) v = random.gaussian();
    const NoiseModel m = FitNoiseModel(OverlappingAllanDeviation(y, 0.01), int64_t(y.size()));
    claimedB += m.terms[kTermB].resolved;
    claimedK += m.terms[kTermK].resolved;
    EXPECT_NEAR(m.terms[kTermN].value / 0.1, 1.0, 0.05);
  }
  EXPECT_LE(claimedB, 5);
  EXPECT_LE(claimedK, 5);
}

TEST(NoiseModel, TooFewPointsGiveNoModel) {
  EXPECT_FALSE(FitNoiseModel({}).ok);
  EXPECT_FALSE(FitNoiseModel(std::vector<AllanPoint>(1, AllanPoint{1, 1.0, 1.0, 0, 0, 10})).ok);
}

TEST(NoiseModel, FiguresInTheUnitsEngineersUse) {
  NoiseModel m;
  for (auto& t : m.terms) t = {1.0, 0.5, true};
  struct Case {
    std::string units;
    SensorKind kind;
    std::array<double, kNoiseTerms> factor;
    std::array<const char*, kNoiseTerms> unit;
  };
  const double g = 9.80665;
  const Case cases[] = {
      {"deg/sec",
       SensorKind::Gyro,
       {3600, 60, 3600, 216000, 12960000},
       {"arcsec", "deg/sqrt(h)", "deg/h", "deg/h/sqrt(h)", "deg/h^2"}},
      {"g",
       SensorKind::Accelerometer,
       {g, g * 60, 1000, g * 216000, g * 12960000},
       {"m/s", "m/s/sqrt(h)", "mg", "m/s/h/sqrt(h)", "m/s/h^2"}},
      {"V", SensorKind::Other, {1, 1, 1, 1, 1}, {"V*s", "V*sqrt(s)", "V", "V/sqrt(s)", "V/s"}},
      {"LSB",
       SensorKind::Other,
       {1, 1, 1, 1, 1},
       {"LSB*s", "LSB*sqrt(s)", "LSB", "LSB/sqrt(s)", "LSB/s"}}};
  for (const Case& c : cases) {
    EXPECT_EQ(SensorKindOf(c.units), c.kind);
    const auto f = CustomaryFigures(m, c.kind, c.units);
    for (int j = 0; j < kNoiseTerms; ++j) {
      EXPECT_NEAR(f[size_t(j)].value, c.factor[size_t(j)], 1e-9 * c.factor[size_t(j)]);
      EXPECT_NEAR(f[size_t(j)].sigma, 0.5 * c.factor[size_t(j)], 1e-9 * c.factor[size_t(j)]);
      EXPECT_EQ(f[size_t(j)].unit, c.unit[size_t(j)]);
    }
  }
  EXPECT_EQ(CustomaryDensity(0.002, SensorKind::Accelerometer, "g").value, 2.0);
  EXPECT_EQ(CustomaryDensity(0.002, SensorKind::Accelerometer, "g").unit, "mg/sqrt(Hz)");
  EXPECT_EQ(CustomaryDensity(0.002, SensorKind::Gyro, "deg/sec").unit, "deg/s/sqrt(Hz)");
}

// White noise of random walk N has the amplitude density N at every frequency (the square
// root of the two-sided density), whatever the sample interval; the fit reads the same N.
TEST(NoiseDensity, WhiteNoiseOfRandomWalkNHasDensityN) {
  for (const double tau0 : {0.001, 0.02, 1.0}) {
    const double N = 0.05;
    sim::SensorRandom random(9);
    std::vector<double> y(1 << 18);
    for (double& v : y) v = 3.0 + N / std::sqrt(tau0) * random.gaussian();
    const NoiseDensity d = WelchDensity(y, tau0);
    ASSERT_TRUE(d.whiteFound);
    EXPECT_NEAR(d.white / N, 1.0, 0.02) << "tau0 " << tau0;
    EXPECT_EQ(d.segmentLength, 1 << 15);
    EXPECT_EQ(d.segments, 15);
    for (size_t i = d.frequency.size() / 2; i < d.frequency.size(); ++i)
      EXPECT_NEAR(d.density[i] / N, 1.0, 0.1) << "f " << d.frequency[i];
    EXPECT_NEAR(d.frequency.back() * 2.0 * tau0, 1.0, 0.1);  // up to Nyquist
    const ChannelNoise c = FitNoiseModel(y, tau0, SensorKind::Other);
    EXPECT_NEAR(c.model.terms[kTermN].value / d.white, 1.0, 0.05);
  }
  EXPECT_FALSE(WelchDensity(std::vector<double>(63, 1.0), 1.0).whiteFound);
  EXPECT_TRUE(WelchDensity(std::vector<double>(100, 1.0), 0.0).frequency.empty());
}

// A rising quantisation and a falling random walk beside white noise leave its level alone.
TEST(NoiseDensity, WhiteLevelStaysWithColouredNoiseAtEitherEnd) {
  const double tau0 = 0.01, N = 0.02, Q = 0.002, K = 0.002;
  sim::SensorRandom random(17);
  std::vector<double> y(1 << 19);
  double previous = 0.0, bias = 0.0;
  for (double& v : y) {
    const double e = Q * random.gaussian();
    v = N / std::sqrt(tau0) * random.gaussian() + (e - previous) / tau0 +
        (bias += K * std::sqrt(tau0) * random.gaussian());
    previous = e;
  }
  const NoiseDensity d = WelchDensity(y, tau0);
  EXPECT_NEAR(d.white / N, 1.0, 0.05);
  EXPECT_GT(d.flatFrom, d.frequency.front());
  EXPECT_LT(d.flatTo, d.frequency.back());
}

}  // namespace
}  // namespace vexa::analysis
