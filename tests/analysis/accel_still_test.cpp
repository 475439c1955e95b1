#include "analysis/accel_still.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace vexa::analysis {
namespace {

constexpr double kRate = 400.0;  // readings per second
constexpr double kAccelNoise = 0.002;
constexpr double kGyroNoise = 0.2;

// A stream of holds and turns: gravity goes from one hold's direction to the next in a plane
// at a steady rate, the gyro showing that rate.
struct Stream {
  std::mt19937_64 rng{7};
  std::normal_distribution<double> normal{0.0, 1.0};
  double t = 0;
  Vec3 gyroBias{0.3, -0.2, 0.1};

  void hold(StillDetector& d, const Vec3& g, double seconds, double shaking = 1.0) {
    for (double end = t + seconds; t < end; t += 1 / kRate) d.add(t, reading(g, {}, shaking));
  }
  void turn(StillDetector& d, const Vec3& from, const Vec3& to, double seconds) {
    const double start = t;
    for (double end = t + seconds; t < end; t += 1 / kRate) {
      const double s = (t - start) / seconds;
      Vec3 g{};
      for (int a = 0; a < 3; ++a) g[a] = from[a] * (1 - s) + to[a] * s;
      d.add(t, reading(g, {40.0, 0.0, 0.0}));
    }
  }
  ImuSample reading(const Vec3& g, const Vec3& rate, double shaking = 1.0) {
    ImuSample s;
    for (int a = 0; a < 3; ++a) {
      s.accelG[a] = g[a] + shaking * kAccelNoise * normal(rng);
      s.gyroDegPerSec[a] = rate[a] + gyroBias[a] + shaking * kGyroNoise * normal(rng);
    }
    return s;
  }
};

TEST(StillDetector, AveragesEachHoldLongEnoughAndNothingOfTheTurns) {
  const Vec3 up{0, 0, 1}, side{1, 0, 0}, edge{0, 0.7071, 0.7071}, down{0, 0, -1};
  StillDetector d(2.0);
  Stream s;
  s.hold(d, up, 5.0);
  EXPECT_TRUE(d.still());
  s.turn(d, up, side, 2.0);
  EXPECT_FALSE(d.still());
  s.hold(d, side, 6.0);
  s.turn(d, side, edge, 1.5);
  s.hold(d, edge, 1.2);  // too short to count
  s.turn(d, edge, down, 1.5);
  s.hold(d, down, 4.0);
  d.finish();

  const Vec3 expected[] = {up, side, down};
  ASSERT_EQ(d.poses().size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const StillPose& p = d.poses()[i];
    SCOPED_TRACE("pose " + std::to_string(i));
    EXPECT_GE(p.seconds, 2.0);
    for (int a = 0; a < 3; ++a) {
      EXPECT_NEAR(p.accelSigmaG[a], kAccelNoise / std::sqrt(double(p.samples)),
                  0.2 * kAccelNoise / std::sqrt(double(p.samples)));
      EXPECT_NEAR(p.accelG[a], expected[i][a], 5 * p.accelSigmaG[a]);
      EXPECT_NEAR(p.gyroDegPerSec[a], s.gyroBias[a], 5 * p.gyroSigmaDegPerSec[a]);
    }
  }
  // The noise it judged by is the stream's own.
  EXPECT_NEAR(d.noise()[3], kAccelNoise, 0.3 * kAccelNoise);
  EXPECT_NEAR(d.noise()[0], kGyroNoise, 0.3 * kGyroNoise);
}

TEST(StillDetector, DropsAPoseFoundBeforeTheNoiseWasKnown) {
  // The stream starts on a shaking bench: its blocks set the first noise estimate, and the
  // shaking looks still against it until a quiet hold shows the sensor's own noise.
  StillDetector d(1.0);
  Stream s;
  s.hold(d, {0, 0, 1}, 4.0, 10.0);
  s.turn(d, {0, 0, 1}, {0.8, 0, 0.6}, 2.0);
  s.hold(d, {0.8, 0, 0.6}, 4.0);
  d.finish();
  ASSERT_EQ(d.poses().size(), 1u);
  EXPECT_NEAR(d.poses()[0].accelG[0], 0.8, 0.001);
}

TEST(PoseCoverage, CountsFacesAndEdgesByGravityDirection) {
  auto pose = [](Vec3 g) {
    StillPose p;
    p.accelG = g;
    return p;
  };
  const PoseCoverage c = CoverageOfPoses(
      {pose({0.02, 0, 1.0}), pose({0, -1, 0.1}), pose({0.7, 0, -0.7}), pose({0.58, 0.58, 0.58})});
  EXPECT_TRUE(c.faces[4]);  // +Z
  EXPECT_TRUE(c.faces[3]);  // -Y
  EXPECT_FALSE(c.faces[0]);
  EXPECT_TRUE(c.edges[5]);     // X+ Z-
  EXPECT_EQ(c.covered(), 3u);  // the corner is neither a face nor an edge
}

}  // namespace
}  // namespace vexa::analysis
