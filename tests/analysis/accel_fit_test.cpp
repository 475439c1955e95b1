#include "analysis/accel_fit.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace vexa::analysis {
namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// The eighteen face and edge directions, each tilted a little and drawn into readings of a
// triad with the errors given: reading = T f + b, T written out here from the model's words
// (scale on the diagonal, y leaning toward x, z toward x and toward y) and seeded noise on each
// mean with the standard error the pose states.
std::vector<StillPose> posesOf(const AccelErrorModel& truth, double sigmaG, unsigned seed,
                               double gravityG = 1.0, int skipAxisSign = -1) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::uniform_real_distribution<double> tilt(-0.08, 0.08);
  std::vector<Vec3> dirs;
  for (int a = 0; a < 3; ++a)
    for (double s : {1.0, -1.0}) {
      Vec3 v{};
      v[a] = s;
      dirs.push_back(v);
    }
  for (int p = 0; p < 3; ++p)
    for (double s0 : {1.0, -1.0})
      for (double s1 : {1.0, -1.0}) {
        Vec3 v{};
        v[p == 2 ? 1 : 0] = s0;
        v[p == 0 ? 1 : 2] = s1;
        dirs.push_back(v);
      }
  const double yx = truth.misalignmentDeg[0] * kDeg, zx = truth.misalignmentDeg[1] * kDeg,
               zy = truth.misalignmentDeg[2] * kDeg;
  std::vector<StillPose> poses;
  for (Vec3 d : dirs) {
    if (skipAxisSign >= 0 && d[skipAxisSign / 2] * (skipAxisSign % 2 ? -1 : 1) > 0.1) continue;
    for (double& c : d) c += tilt(rng);
    const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    Vec3 f{};
    for (int a = 0; a < 3; ++a) f[a] = d[a] / n * gravityG;
    StillPose p;
    p.accelG = {(1 + truth.scale[0]) * f[0], (1 + truth.scale[1]) * f[1] + yx * f[0],
                (1 + truth.scale[2]) * f[2] + zx * f[0] + zy * f[1]};
    for (int a = 0; a < 3; ++a) {
      p.accelG[a] += truth.biasG[a] + sigmaG * normal(rng);
      p.accelSigmaG[a] = sigmaG;
      p.gyroDegPerSec[a] = 0.1 * (a + 1) + 0.02 * f[a] + 0.001 * normal(rng);
      p.gyroSigmaDegPerSec[a] = 0.001;
    }
    poses.push_back(p);
  }
  return poses;
}

AccelErrorModel errorsOfSeed(unsigned seed) {
  std::mt19937_64 rng(seed * 31 + 7);
  std::uniform_real_distribution<double> mag(0, 1);
  auto signedIn = [&](double lo, double hi) {
    return (mag(rng) < 0.5 ? -1 : 1) * (lo + (hi - lo) * mag(rng));
  };
  AccelErrorModel m;
  for (int a = 0; a < 3; ++a) {
    m.biasG[a] = signedIn(0.010, 0.050);
    m.scale[a] = signedIn(0.002, 0.010);
    m.misalignmentDeg[a] = signedIn(0.1, 0.5);
  }
  return m;
}

TEST(AccelFit, RecoversEveryParameterWithinThreeSigmaOverSeeds) {
  for (unsigned seed = 1; seed <= 10; ++seed) {
    const AccelErrorModel truth = errorsOfSeed(seed);
    const AccelFit fit = FitAccelPoses(posesOf(truth, 30e-6, seed), 1.0);
    ASSERT_TRUE(fit.ok) << fit.problem;
    EXPECT_TRUE(fit.trusted);
    for (int a = 0; a < 3; ++a) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " axis " + std::to_string(a));
      EXPECT_NEAR(fit.model.biasG[a], truth.biasG[a], 3 * fit.sigma.biasG[a]);
      EXPECT_NEAR(fit.model.scale[a], truth.scale[a], 3 * fit.sigma.scale[a]);
      EXPECT_NEAR(fit.model.misalignmentDeg[a], truth.misalignmentDeg[a],
                  3 * fit.sigma.misalignmentDeg[a]);
      EXPECT_NEAR(fit.model.biasG[a], truth.biasG[a], 0.5e-3);
      EXPECT_NEAR(fit.model.scale[a], truth.scale[a], 100e-6);
      EXPECT_NEAR(fit.model.misalignmentDeg[a], truth.misalignmentDeg[a], 0.05);
      EXPECT_NEAR(fit.gyroBiasDegPerSec[a], 0.1 * (a + 1), 4 * fit.gyroBiasSigma[a]);
      EXPECT_NEAR(fit.gyroGSensitivity[a][a], 0.02, 4 * fit.gyroGSensitivitySigma[a][a]);
    }
  }
}

// The sigma is an honest one: over many seeds about 99.7 % of the errors lie within three of it
// and about 68 % within one.
TEST(AccelFit, SigmasCoverTheTrueErrorsAtTheirStatedRate) {
  int within1 = 0, within3 = 0, total = 0;
  for (unsigned seed = 100; seed < 300; ++seed) {
    const AccelErrorModel truth = errorsOfSeed(seed);
    const AccelFit fit = FitAccelPoses(posesOf(truth, 50e-6, seed), 1.0);
    ASSERT_TRUE(fit.ok) << fit.problem;
    for (int a = 0; a < 3; ++a) {
      const double z[3] = {
          (fit.model.biasG[a] - truth.biasG[a]) / fit.sigma.biasG[a],
          (fit.model.scale[a] - truth.scale[a]) / fit.sigma.scale[a],
          (fit.model.misalignmentDeg[a] - truth.misalignmentDeg[a]) / fit.sigma.misalignmentDeg[a]};
      for (double v : z) {
        within1 += std::abs(v) < 1;
        within3 += std::abs(v) < 3;
        ++total;
      }
    }
  }
  EXPECT_NEAR(within1 / double(total), 0.683, 0.05);
  EXPECT_GT(within3 / double(total), 0.98);
}

TEST(AccelFit, TakesLocalGravityAsTheTargetMagnitude) {
  const AccelErrorModel truth = errorsOfSeed(3);
  const double g = 1.0003;
  const AccelFit fit = FitAccelPoses(posesOf(truth, 20e-6, 3, g), g);
  ASSERT_TRUE(fit.ok);
  for (int a = 0; a < 3; ++a) EXPECT_NEAR(fit.model.scale[a], truth.scale[a], 100e-6);
  // Against standard gravity the same poses read as a common scale error of 300 ppm.
  const AccelFit wrong = FitAccelPoses(posesOf(truth, 20e-6, 3, g), 1.0);
  EXPECT_NEAR(wrong.model.scale[0] - truth.scale[0], 300e-6, 100e-6);
}

TEST(AccelFit, RefusesPosesThatCannotDetermineTheModel) {
  const AccelErrorModel truth = errorsOfSeed(1);
  const std::vector<StillPose> all = posesOf(truth, 30e-6, 1);
  struct Case {
    const char* name;
    std::vector<StillPose> poses;
    const char* reason;
  };
  std::vector<StillPose> eight(all.begin(), all.begin() + 6);
  eight.push_back(all[6]);
  eight.push_back(all[7]);
  std::vector<StillPose> repeated = eight;
  for (int k = 0; k < 6; ++k) repeated.push_back(all[k]);  // the same orientations again
  const Case cases[] = {
      {"eight poses", eight, "8 distinct still poses"},
      {"repeats are not new orientations", repeated, "8 distinct still poses"},
      {"no pose with -Z up", posesOf(truth, 30e-6, 1, 1.0, 5), "-Z axis"},
      {"neither +X nor -Y up",
       [&] {
         std::vector<StillPose> p;
         for (const StillPose& s : all)
           if (s.accelG[0] < 0.3 && s.accelG[1] > -0.3) p.push_back(s);
         return p;
       }(),
       "+X, -Y axis"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AccelFit fit = FitAccelPoses(c.poses, 1.0);
    EXPECT_FALSE(fit.ok);
    EXPECT_NE(fit.problem.find(c.reason), std::string::npos) << fit.problem;
  }
}

TEST(AccelFit, DistrustsPosesThatAreNotStill) {
  std::vector<StillPose> poses = posesOf(errorsOfSeed(2), 30e-6, 2);
  poses[4].accelG[2] += 0.05;
  poses[9].accelG[0] -= 0.04;
  const AccelFit fit = FitAccelPoses(poses, 1.0);
  ASSERT_TRUE(fit.ok);
  EXPECT_FALSE(fit.trusted);
  EXPECT_GT(fit.rmsResidualMg, kMaxTrustedResidualMg);
}

// Published values of the WGS84 normal gravity: equator and pole on the ellipsoid, the free-air
// gradient near -0.3086 mGal/m.
TEST(NormalGravity, MatchesTheEllipsoidsPublishedValues) {
  EXPECT_NEAR(NormalGravity(0, 0), 9.7803253359, 1e-9);
  EXPECT_NEAR(NormalGravity(90, 0), 9.8321849378, 1e-9);
  EXPECT_NEAR(NormalGravity(-90, 0), 9.8321849378, 1e-9);
  EXPECT_NEAR((NormalGravity(45, 1000) - NormalGravity(45, 0)) / 1000, -3.086e-6, 0.01e-6);
}

TEST(AccelModel, CorrectionUndoesTheModel) {
  const AccelErrorModel m = errorsOfSeed(5);
  const Vec3 f{0.3, -0.5, 0.8};
  const double yx = m.misalignmentDeg[0] * kDeg, zx = m.misalignmentDeg[1] * kDeg,
               zy = m.misalignmentDeg[2] * kDeg;
  const Vec3 r{(1 + m.scale[0]) * f[0] + m.biasG[0],
               (1 + m.scale[1]) * f[1] + yx * f[0] + m.biasG[1],
               (1 + m.scale[2]) * f[2] + zx * f[0] + zy * f[1] + m.biasG[2]};
  const Vec3 back = CorrectReading(m, r);
  for (int a = 0; a < 3; ++a) EXPECT_NEAR(back[a], f[a], 1e-12);
}

}  // namespace
}  // namespace vexa::analysis
