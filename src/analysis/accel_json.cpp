#include "analysis/accel_json.h"

#include <cstdio>

#include "app/physical_constants.h"

namespace vexa::analysis {

namespace {

std::string number(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%.10g", v);
  return b;
}

std::string array(const Vec3& v) {
  return "[" + number(v[0]) + ", " + number(v[1]) + ", " + number(v[2]) + "]";
}

std::string matrix(const Mat3& m) {
  return "[" + array(m[0]) + ", " + array(m[1]) + ", " + array(m[2]) + "]";
}

std::string pair(const std::string& value, const std::string& sigma) {
  return "{\"value\": " + value + ", \"sigma\": " + sigma + "}";
}

}  // namespace

std::string AccelCalibrationJson(const AccelFit& fit, const Vec3& hostBiasG, size_t poses) {
  std::string j = "{\n";
  j += "  \"bias\": " + pair(array(hostBiasG), array(fit.sigma.biasG)) + ",\n";
  j += "  \"scale\": " + pair(array(fit.model.scale), array(fit.sigma.scale)) + ",\n";
  j += "  \"misalignment\": " +
       pair(array(fit.model.misalignmentDeg), array(fit.sigma.misalignmentDeg)) + ",\n";
  j += "  \"gravity\": " + number(fit.gravityG * kStandardGravity) + ",\n";
  j += "  \"poses\": " + std::to_string(poses) + ",\n";
  j += "  \"residual_mg\": " + number(fit.rmsResidualMg) + ",\n";
  j += "  \"gyro_bias\": " + pair(array(fit.gyroBiasDegPerSec), array(fit.gyroBiasSigma)) + ",\n";
  j += "  \"gyro_g_sensitivity\": " +
       pair(matrix(fit.gyroGSensitivity), matrix(fit.gyroGSensitivitySigma)) + "\n";
  j += "}\n";
  return j;
}

}  // namespace vexa::analysis
