// Ellipsoid fits and coverage on synthetic clouds of known shape.

#include "analysis/ellipsoid_fit.h"

#include <gtest/gtest.h>

#include "analysis/mag_calibration.h"
#include "analysis/mag_cloud.h"
#include "analysis/sphere_coverage.h"

namespace vexa::analysis {
namespace {

using testing::CloudShape;
using testing::MakeCloud;

TEST(EllipsoidFit, RecoversCentreAndRadiiOrReportsPoorCoverage) {
  struct Case {
    const char* name;
    CloudShape shape;
    bool trusted;
    double centreTolerance;  // mG
    double radiusTolerance;  // fraction of the radius
  };
  const Case cases[] = {
      {"sphere", {{24, -16, 9}, {470, 470, 470}}, true, 0.5, 0.002},
      {"soft iron", {{150, -80, 300}, {517, 432, 470}}, true, 0.5, 0.002},
      {"strong", {{-900, 400, 50}, {700, 350, 520}}, true, 0.5, 0.003},
      {"weak field", {{5, 5, 5}, {50, 45, 55}, 0, -1, 1, 0.3}, true, 0.5, 0.02},
      {"noisy", {{60, 20, -40}, {480, 460, 470}, 0, -1, 1, 12.0}, false, 3.0, 0.01},
      {"two thirds", {{60, 20, -40}, {480, 440, 470}, 0, -0.35, 1}, true, 1.0, 0.005},
      {"band", {{60, 20, -40}, {480, 440, 470}, 0, -0.2, 0.2}, false, -1, -1},
      {"ring", {{60, 20, -40}, {480, 440, 470}, 0, 0, 0}, false, -1, -1},
      {"cap", {{60, 20, -40}, {480, 440, 470}, 0, 0.7, 1}, false, -1, -1},
  };
  const SphereBins bins;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto cloud = MakeCloud(c.shape);
    const MagCalResult r = AnalyseMagReadings(cloud, MagCorrections{}, bins);
    EXPECT_EQ(r.trusted, c.trusted);
    EXPECT_EQ(r.problems.empty(), c.trusted);
    if (c.centreTolerance < 0) {
      // Numbers from a cloud like this must not pass for a calibration.
      EXPECT_LT(r.quality.coveragePercent, kMinCoveragePercent);
      ASSERT_FALSE(r.problems.empty());
      EXPECT_NE(r.problems.front().find("coverage"), std::string::npos) << r.problems.front();
      continue;
    }
    ASSERT_TRUE(r.fit.ok);
    for (int a = 0; a < 3; ++a) {
      EXPECT_NEAR(r.fit.centre[a], c.shape.centre[a], c.centreTolerance) << a;
      EXPECT_NEAR(r.fit.radii[a] / c.shape.radii[a], 1.0, c.radiusTolerance) << a;
    }
    const double field = (c.shape.radii[0] + c.shape.radii[1] + c.shape.radii[2]) / 3;
    EXPECT_NEAR(r.quality.fieldMilliGauss, field, field * c.radiusTolerance);
    // The residual is the noise that is left, as a share of the field.
    EXPECT_NEAR(r.quality.residualPercent, 100.0 * c.shape.noise / field,
                50.0 * c.shape.noise / field);
    EXPECT_GT(r.quality.wobbleMilliGauss, 2 * c.shape.noise);
    EXPECT_LT(r.quality.wobbleMilliGauss, 10 * c.shape.noise);
  }
}

TEST(EllipsoidFit, FullFitReportsTheCrossAxisPartTheRegistersCannotHold) {
  const struct {
    double crossAxis;
    double low, high;  // expected cross-axis percentage
  } cases[] = {{0.0, 0.0, 0.3}, {0.03, 2.5, 3.5}, {0.08, 7.0, 9.5}};
  for (const auto& c : cases) {
    CloudShape shape{{30, -20, 10}, {500, 450, 470}, c.crossAxis};
    const FullEllipsoid full = FitFullEllipsoid(MakeCloud(shape));
    ASSERT_TRUE(full.ok);
    EXPECT_GE(full.crossAxisPercent, c.low) << c.crossAxis;
    EXPECT_LE(full.crossAxisPercent, c.high) << c.crossAxis;
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(full.centre[a], shape.centre[a], 1.0);
  }
}

TEST(EllipsoidFit, RefusesCloudsThatDetermineNothing) {
  EXPECT_FALSE(FitAxisAlignedEllipsoid({}).ok);
  EXPECT_FALSE(FitAxisAlignedEllipsoid(std::vector<Vec3>(50, Vec3{1, 2, 3})).ok);
  CloudShape flat{{0, 0, 0}, {400, 400, 400}, 0, 0, 0, 0.0};
  EXPECT_FALSE(FitAxisAlignedEllipsoid(MakeCloud(flat)).ok);
  EXPECT_FALSE(FitFullEllipsoid(MakeCloud(flat)).ok);
}

TEST(SphereBins, BinsHaveEqualAreaAndCoverEveryDirection) {
  const SphereBins bins;
  EXPECT_GE(bins.count(), 100);
  EXPECT_LE(bins.count(), 200);
  // Uniform directions fall evenly into the bins.
  const auto cloud = MakeCloud({{0, 0, 0}, {1, 1, 1}, 0, -1, 1, 0.0, 300000});
  std::vector<int> hits(bins.count(), 0);
  for (const Vec3& d : cloud) ++hits[bins.binOf(d)];
  const double expected = 300000.0 / bins.count();
  for (int b = 0; b < bins.count(); ++b) EXPECT_NEAR(hits[b], expected, 0.15 * expected) << b;
  const Coverage full = CoverageOf(bins, cloud, {0, 0, 0}, {1, 1, 1});
  EXPECT_EQ(full.filledBins, bins.count());
  EXPECT_DOUBLE_EQ(full.percent, 100.0);
}

}  // namespace
}  // namespace vexa::analysis
