#pragma once

#include <array>

#include "analysis/ellipsoid_fit.h"

namespace vexa::analysis {

// The accelerometer triad's error model, used by the fit, the correction and the simulation's
// error file alike:
//
//   reading = T x (true specific force) + bias,
//   T = diag(1 + scale) + L,  L lower triangular with L(y,x) = a_yx, L(z,x) = a_zx, L(z,y) = a_zy
//
// in g, with the angles in radians inside T. The x axis is the reference: the y axis leans
// toward x by a_yx, the z axis toward x by a_zx and toward y by a_zy. Three angles (not six)
// because a rotation of the whole triad cannot be seen from gravity's magnitude alone.
struct AccelErrorModel {
  Vec3 biasG{};
  Vec3 scale{};            // fraction: 0.004 is 0.4 %
  Vec3 misalignmentDeg{};  // y toward x, z toward x, z toward y
};

// T of the model.
Mat3 SensitivityMatrix(const AccelErrorModel& model);

// The true specific force from a reading: T^-1 (reading - bias).
Vec3 CorrectReading(const AccelErrorModel& model, const Vec3& readingG);

double Norm(const Vec3& v);

// Normal gravity of the WGS84 ellipsoid (m/s^2) at geodetic latitude `latitudeDeg` and
// `heightM` above the ellipsoid: Somigliana's closed formula on the ellipsoid and the
// second-order free-air term above it.
double NormalGravity(double latitudeDeg, double heightM);

}  // namespace vexa::analysis
