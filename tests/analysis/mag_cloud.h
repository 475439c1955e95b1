#pragma once

#include <cmath>
#include <vector>

#include "analysis/ellipsoid_fit.h"
#include "sim/sensor_random.h"

namespace vexa::testing {

// A magnetometer cloud: directions spread evenly over the part of the sphere between two
// heights (zLow..zHigh of the unit sphere), through a symmetric distortion (per-axis radii and
// a cross-axis term), moved to a centre, with Gaussian noise.
struct CloudShape {
  analysis::Vec3 centre{0, 0, 0};
  analysis::Vec3 radii{470, 470, 470};
  double crossAxis = 0.0;
  double zLow = -1.0, zHigh = 1.0;
  double noise = 1.0;
  int count = 2000;
  uint64_t seed = 3;
};

inline std::vector<analysis::Vec3> MakeCloud(const CloudShape& s) {
  sim::SensorRandom random(s.seed);
  std::vector<analysis::Vec3> out;
  for (int i = 0; i < s.count; ++i) {
    const double z = s.zLow + (s.zHigh - s.zLow) * random.uniform();
    const double phi = 2.0 * 3.14159265358979323846 * random.uniform();
    const double rho = std::sqrt(std::max(0.0, 1.0 - z * z));
    const double d[3] = {rho * std::cos(phi), rho * std::sin(phi), z};
    analysis::Vec3 p;
    for (int a = 0; a < 3; ++a) {
      double v = s.radii[a] * d[a];
      for (int b = 0; b < 3; ++b)
        if (b != a) v += s.crossAxis * s.radii[b] * d[b];
      p[a] = s.centre[a] + v + s.noise * random.gaussian();
    }
    out.push_back(p);
  }
  return out;
}

}  // namespace vexa::testing
