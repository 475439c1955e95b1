#pragma once

#include <array>
#include <string>

#include "sim/sensor_motion.h"

namespace vexa::sim {

// The simulated accelerometers' errors, as a module's datasheet describes a triad:
// each output = (1 + scale) x its own axis' specific force, plus the part of the other axes'
// force its sensing axis leans toward (the y axis toward x, the z axis toward x and toward y;
// x is the reference), plus the bias. Angles in degrees, scale as a fraction, bias in g.
struct AccelErrors {
  Vec3 biasG{};
  Vec3 scale{};
  Vec3 misalignmentDeg{};
};

// What the accelerometers put out for the specific force `forceG` (before noise and
// quantisation).
Vec3 ApplyAccelErrors(const AccelErrors& errors, const Vec3& forceG);

// Reads `{"bias": [x, y, z], "scale": [...], "misalignment": [...]}` (each optional, plain
// arrays of three numbers in g, fraction, degrees). False with the cause.
bool ReadAccelErrorsFile(const std::string& path, AccelErrors& errors, std::string& error);

}  // namespace vexa::sim
