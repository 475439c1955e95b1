#pragma once

#include <string>

#include "analysis/accel_fit.h"

namespace vexa::analysis {

// The file the host corrects its readings with (scale and misalignment, which the sensor cannot
// hold, and the bias still in the readings):
// {"bias": {"value": [x, y, z], "sigma": [...]}, "scale": {...}, "misalignment": {...},
//  "gravity": G, "poses": N, "residual_mg": RMS, "gyro_bias": {...}, "gyro_g_sensitivity": {...}}
// bias in g, scale as a fraction, misalignment in degrees (y toward x, z toward x, z toward y),
// gravity in m/s^2, gyro bias in deg/s, g-sensitivity in deg/s per g (rows: gyro axes).
// `hostBiasG` is the bias the host takes out: the fitted one, or what the offset registers
// could not hold once they were written.
std::string AccelCalibrationJson(const AccelFit& fit, const Vec3& hostBiasG, size_t poses);

}  // namespace vexa::analysis
