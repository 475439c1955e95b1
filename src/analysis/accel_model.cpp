#include "analysis/accel_model.h"

#include <cmath>

#include "app/physical_constants.h"

namespace vexa::analysis {

namespace {

// WGS84 defining and derived constants.
constexpr double kSemiMajorM = 6378137.0;
constexpr double kFlattening = 1.0 / 298.257223563;
constexpr double kEquatorGravity = 9.7803253359;   // m/s^2
constexpr double kSomiglianaK = 0.00193185265241;  // (b gamma_p) / (a gamma_e) - 1
constexpr double kFirstEccentricitySq = 0.00669437999013;
constexpr double kGravityRatioM = 0.00344978600308;  // omega^2 a^2 b / GM

}  // namespace

Mat3 SensitivityMatrix(const AccelErrorModel& m) {
  Mat3 t{};
  for (int a = 0; a < 3; ++a) t[a][a] = 1.0 + m.scale[a];
  t[1][0] = m.misalignmentDeg[0] * kDegToRad;
  t[2][0] = m.misalignmentDeg[1] * kDegToRad;
  t[2][1] = m.misalignmentDeg[2] * kDegToRad;
  return t;
}

Vec3 CorrectReading(const AccelErrorModel& m, const Vec3& readingG) {
  const Mat3 t = SensitivityMatrix(m);
  Vec3 r{};
  for (int a = 0; a < 3; ++a) r[a] = readingG[a] - m.biasG[a];
  // Forward substitution: T is lower triangular.
  Vec3 x{};
  x[0] = r[0] / t[0][0];
  x[1] = (r[1] - t[1][0] * x[0]) / t[1][1];
  x[2] = (r[2] - t[2][0] * x[0] - t[2][1] * x[1]) / t[2][2];
  return x;
}

double Norm(const Vec3& v) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

double NormalGravity(double latitudeDeg, double heightM) {
  const double s2 = std::pow(std::sin(latitudeDeg * kDegToRad), 2);
  const double onEllipsoid =
      kEquatorGravity * (1.0 + kSomiglianaK * s2) / std::sqrt(1.0 - kFirstEccentricitySq * s2);
  const double a = kSemiMajorM;
  return onEllipsoid *
         (1.0 - 2.0 / a * (1.0 + kFlattening + kGravityRatioM - 2.0 * kFlattening * s2) * heightM +
          3.0 * heightM * heightM / (a * a));
}

}  // namespace vexa::analysis
