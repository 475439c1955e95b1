// Register values from a fit, under the sensor's model, and what repeated runs do with them.

#include "analysis/mag_calibration.h"

#include <gtest/gtest.h>

#include "analysis/mag_cloud.h"
#include "analysis/mag_sample_set.h"

namespace vexa::analysis {
namespace {

using testing::CloudShape;
using testing::MakeCloud;

// What the sensor reads (mG, whole counts of 0.5 mG) for element fields `u` (mG) with the
// corrections `c` in its registers: (field + hard iron) x soft iron / 2048 in counts.
std::vector<Vec3> SensorReadings(const std::vector<Vec3>& u, const MagCorrections& c) {
  std::vector<Vec3> out;
  for (const Vec3& f : u) {
    Vec3 r;
    for (int a = 0; a < 3; ++a)
      r[a] = 0.5 * std::round((f[a] / 0.5 + c.hardIron[a]) * c.softIron[a] / 2048.0);
    out.push_back(r);
  }
  return out;
}

AxisEllipsoid Fit(Vec3 centre, Vec3 radii) {
  AxisEllipsoid f;
  f.ok = true;
  f.centre = centre;
  f.radii = radii;
  return f;
}

TEST(MagCorrections, DerivedFromTheFitAndLimitedToTheRegisters) {
  const struct {
    const char* name;
    AxisEllipsoid fit;
    MagCorrections expected;
    std::array<bool, 6> limited;
  } cases[] = {
      {"centred sphere", Fit({0, 0, 0}, {470, 470, 470}), {{0, 0, 0}, {2048, 2048, 2048}}, {}},
      {"hard iron", Fit({24, -16, 9.5}, {470, 470, 470}), {{-48, 32, -19}, {2048, 2048, 2048}}, {}},
      {"halves to even", Fit({-0.25, -0.75, 0.25}, {1, 1, 1}), {{0, 2, 0}, {2048, 2048, 2048}}, {}},
      {"soft iron", Fit({0, 0, 0}, {550, 450, 500}), {{0, 0, 0}, {1862, 2276, 2048}}, {}},
      {"beyond the registers",
       Fit({5000, -4096, 4096}, {300, 900, 900}),
       {{-8192, 8191, -8192}, {4095, 1593, 1593}},
       {true, true, false, true, false, false}},
  };
  for (const auto& c : cases) {
    std::array<bool, 6> limited{};
    const MagCorrections got = DeriveCorrections(c.fit, &limited);
    EXPECT_EQ(got.hardIron, c.expected.hardIron) << c.name;
    EXPECT_EQ(got.softIron, c.expected.softIron) << c.name;
    EXPECT_EQ(limited, c.limited) << c.name;
  }
}

TEST(MagCorrections, AValueLimitedToItsRegisterWarnsButTheFitStaysTrusted) {
  const SphereBins bins;
  const MagCalResult r =
      AnalyseMagReadings(MakeCloud({{0, 0, 0}, {1200, 280, 500}}), MagCorrections{}, bins);
  EXPECT_TRUE(r.trusted);
  EXPECT_EQ(r.derived.softIron[1], kSoftIronMax);
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("limited"), std::string::npos);
}

TEST(MagCorrections, RunsInARowConvergeWhateverTheRegistersHeldBefore) {
  // The element feels a distorted field; the registers start anywhere.
  const auto field = MakeCloud({{40, -25, 15}, {520, 430, 470}, 0, -1, 1, 0.6});
  const SphereBins bins;
  for (const MagCorrections start :
       {MagCorrections{}, MagCorrections{{300, -200, 50}, {1700, 2400, 2048}}}) {
    const MagCalResult first = AnalyseMagReadings(SensorReadings(field, start), start, bins);
    ASSERT_TRUE(first.trusted);
    const auto corrected = SensorReadings(field, first.derived);
    const MagCalResult second = AnalyseMagReadings(corrected, first.derived, bins);
    ASSERT_TRUE(second.trusted);
    for (int a = 0; a < 3; ++a) {
      EXPECT_NEAR(second.derived.hardIron[a], first.derived.hardIron[a], 1) << a;
      EXPECT_NEAR(second.derived.softIron[a], first.derived.softIron[a], 2) << a;
      // The correction is the element's distortion, not something relative to the start.
      EXPECT_NEAR(first.derived.hardIron[a], -2 * (a == 0 ? 40 : a == 1 ? -25 : 15), 1);
    }
    EXPECT_GT(SpreadOf(SensorReadings(field, start)).rmsPercent, 5.0);
    EXPECT_LT(SpreadOf(corrected).rmsPercent, 0.3);
  }
}

TEST(MagCorrections, VerificationVerdict) {
  const auto spread = [](double percent, int samples = 100) {
    MagnitudeSpread s;
    s.samples = samples;
    s.rmsPercent = percent;
    return s;
  };
  EXPECT_EQ(Judge(spread(9.0), spread(0.4)), Verdict::Improved);
  EXPECT_EQ(Judge(spread(0.5), spread(0.45)), Verdict::AlreadyGood);
  EXPECT_EQ(Judge(spread(6.0), spread(5.5)), Verdict::NotImproved);
  EXPECT_EQ(Judge(spread(0.5), spread(3.0)), Verdict::NotImproved);
  EXPECT_EQ(Judge(spread(9.0), spread(0.0, 0)), Verdict::NotImproved);
  EXPECT_EQ(VerdictText(Verdict::Improved, spread(9.0), spread(0.4)),
            "The correction improved the field: magnitude spread 9.00 % before, 0.40 % after.");
}

TEST(MagSampleSet, AStillModuleAddsAHandfulAndATurningOneAddsEveryPlace) {
  MagSampleSet set(4.0, 500);
  const auto still = MakeCloud({{100, 200, -300}, {0, 0, 0}, 0, -1, 1, 1.0, 5000});
  for (const Vec3& r : still) set.add(r);
  EXPECT_EQ(set.offered(), 5000u);
  EXPECT_LE(set.samples().size(), 27u);
  set.clear();
  for (int i = 0; i < 1000; ++i) set.add({10.0 * i, 0, 0});
  EXPECT_EQ(set.samples().size(), 500u) << "bounded";
}

}  // namespace
}  // namespace vexa::analysis
