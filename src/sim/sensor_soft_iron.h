#pragma once

#include "sim/sensor_motion.h"

namespace vexa::sim {

// Soft iron near the magnetometer: the field the elements feel is S x field, with S the
// symmetric matrix whose diagonal is the per-axis scale and whose off-diagonal entries are all
// the cross-axis term. The sensor's own hard- and soft-iron registers can hold the diagonal
// part only; a cross-axis term is what an axis-aligned correction leaves behind.
struct SoftIronDistortion {
  Vec3 scale{1.0, 1.0, 1.0};
  double crossAxis = 0.0;

  Vec3 apply(const Vec3& f) const {
    return {scale[0] * f[0] + crossAxis * (f[1] + f[2]),
            scale[1] * f[1] + crossAxis * (f[0] + f[2]),
            scale[2] * f[2] + crossAxis * (f[0] + f[1])};
  }
};

}  // namespace vexa::sim
