#include "sim/sensor_tumble.h"
#include "app/physical_constants.h"

#include <cmath>

namespace vexa::sim {

namespace {


using Matrix = std::array<Vec3, 3>;

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) m[i][j] += a[i][k] * b[k][j];
  return m;
}

Matrix rotationZ(double a) {
  const double c = std::cos(a), s = std::sin(a);
  return {{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
}
Matrix rotationY(double a) {
  const double c = std::cos(a), s = std::sin(a);
  return {{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
}
Matrix rotationX(double a) {
  const double c = std::cos(a), s = std::sin(a);
  return {{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
}

// Body-to-level rotation at time t.
Matrix attitude(const Vec3& base, double t) {
  const double* turns = TumbleMotion::kTurnsPerSecond;
  const double heading = base[2] * kDegToRad + 2 * kPi * turns[0] * t;
  const double pitch = base[1] * kDegToRad + 2 * kPi * turns[1] * t;
  const double roll = base[0] * kDegToRad + 2 * kPi * turns[2] * t;
  return multiply(multiply(rotationZ(heading), rotationY(pitch)), rotationX(roll));
}

// Level-frame vector into the body frame: R^T v.
Vec3 toBody(const Matrix& r, const Vec3& v) {
  Vec3 out{};
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) out[i] += r[k][i] * v[k];
  return out;
}

}  // namespace

TumbleMotion::TumbleMotion(const BenchMotionConfig& config) : config_(config), bench_(config) {}

BenchState TumbleMotion::at(double t) const {
  BenchState s = bench_.at(t);
  const Matrix r = attitude(config_.baseAttitudeDeg, t);
  s.accelG = toBody(r, {0.0, 0.0, 1.0});
  s.fieldMilliGauss = toBody(r, config_.earthFieldMilliGauss);

  // Body rates from the skew part of R^T dR/dt, by a central difference.
  constexpr double h = 1e-4;
  const Matrix before = attitude(config_.baseAttitudeDeg, t - h);
  const Matrix after = attitude(config_.baseAttitudeDeg, t + h);
  Matrix dr{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) dr[i][j] = (after[i][j] - before[i][j]) / (2 * h);
  Matrix w{};  // R^T dR
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) w[i][j] += r[k][i] * dr[k][j];
  s.rateDegPerSec = {w[2][1] / kDegToRad, w[0][2] / kDegToRad, w[1][0] / kDegToRad};
  return s;
}

}  // namespace vexa::sim
