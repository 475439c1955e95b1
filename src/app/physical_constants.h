#pragma once
// Physical constants shared by the analysis, the simulated sensor and the reports, so that a
// conversion is written once.

namespace vexa {

constexpr double kPi = 3.14159265358979323846;
// Standard gravity (m/s^2): the g in which the accelerometers are scaled.
constexpr double kStandardGravity = 9.80665;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kRadToDeg = 180.0 / kPi;

}  // namespace vexa
