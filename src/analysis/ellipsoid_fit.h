#pragma once

#include <array>
#include <vector>

namespace vexa::analysis {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;

// An ellipsoid whose axes lie along x, y and z: (x - cx)^2 / rx^2 + ... = 1.
struct AxisEllipsoid {
  bool ok = false;            // false: too few points, degenerate cloud, or not an ellipsoid
  Vec3 centre{};              // same units as the points
  Vec3 radii{};               // semi-axes along x, y, z
  double conditioning = 0.0;  // smallest / largest singular value of the normalised problem
};

// A general ellipsoid (x - c)^T Q (x - c) = 1, Q symmetric positive definite.
struct FullEllipsoid {
  bool ok = false;
  Vec3 centre{};
  Vec3 principalRadii{};  // semi-axes, largest first
  // Symmetric matrix that maps the ellipsoid onto a sphere of the mean principal radius:
  // |W (x - c)| = mean radius for every point on it. Its diagonal is what per-axis scale
  // factors can hold; its off-diagonal entries are not.
  Mat3 correction{};
  // Largest off-diagonal entry of `correction` as a percentage of its mean diagonal entry.
  double crossAxisPercent = 0.0;
};

// Below this ratio of smallest to largest singular value the cloud does not determine the
// ellipsoid (all points on a plane or a ring, for example).
constexpr double kMinConditioning = 1e-4;

// Least squares on the algebraic form a x^2 + b y^2 + c z^2 + d x + e y + f z = 1, the points
// first moved to their mean and scaled to unit spread so that the problem is well posed for
// any field strength.
AxisEllipsoid FitAxisAlignedEllipsoid(const std::vector<Vec3>& points);

// Least squares on the nine-term algebraic form with the cross terms xy, xz, yz.
FullEllipsoid FitFullEllipsoid(const std::vector<Vec3>& points);

}  // namespace vexa::analysis
