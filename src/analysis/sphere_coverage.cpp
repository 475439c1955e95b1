#include "analysis/sphere_coverage.h"
#include "app/physical_constants.h"

#include <algorithm>
#include <cmath>

namespace vexa::analysis {

namespace {
}

SphereBins::SphereBins(int bands, int target) {
  bands = std::max(bands, 2);
  // Cells per band in proportion to the area between equally spaced latitudes.
  for (int b = 0; b < bands; ++b) {
    const double top = std::cos(kPi * b / bands);
    const double bottom = std::cos(kPi * (b + 1) / bands);
    cells_.push_back(std::max(1, static_cast<int>(std::lround(target * (top - bottom) / 2.0))));
  }
  for (int c : cells_) {
    first_.push_back(total_);
    total_ += c;
  }
  // Band edges that make every cell exactly 4 pi / total.
  edges_.push_back(1.0);
  int above = 0;
  for (int c : cells_) {
    above += c;
    edges_.push_back(1.0 - 2.0 * above / total_);
  }
  edges_.back() = -1.0;
}

int SphereBins::binOf(const Vec3& d) const {
  const double norm = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (!(norm > 0.0)) return 0;
  const double z = std::clamp(d[2] / norm, -1.0, 1.0);
  int band = 0;
  while (band + 1 < bands() && z < edges_[band + 1]) ++band;
  double longitude = std::atan2(d[1], d[0]) + kPi;  // 0 .. 2 pi
  int cell = static_cast<int>(longitude / (2.0 * kPi) * cells_[band]);
  cell = std::clamp(cell, 0, cells_[band] - 1);
  return first_[band] + cell;
}

Coverage CoverageOf(const SphereBins& bins, const std::vector<Vec3>& points, const Vec3& centre,
                    const Vec3& radii) {
  Coverage c;
  c.filled.assign(static_cast<size_t>(bins.count()), false);
  for (const Vec3& p : points) {
    Vec3 d;
    for (int a = 0; a < 3; ++a) d[a] = (p[a] - centre[a]) / (radii[a] > 0.0 ? radii[a] : 1.0);
    const int bin = bins.binOf(d);
    if (!c.filled[bin]) {
      c.filled[bin] = true;
      ++c.filledBins;
    }
  }
  c.percent = bins.count() > 0 ? 100.0 * c.filledBins / bins.count() : 0.0;
  return c;
}

void BoxEstimate(const std::vector<Vec3>& points, Vec3& centre, Vec3& radii) {
  centre = {0, 0, 0};
  radii = {1, 1, 1};
  if (points.empty()) return;
  Vec3 lo = points.front(), hi = points.front();
  for (const Vec3& p : points) {
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], p[a]);
      hi[a] = std::max(hi[a], p[a]);
    }
  }
  for (int a = 0; a < 3; ++a) {
    centre[a] = (lo[a] + hi[a]) / 2.0;
    radii[a] = std::max((hi[a] - lo[a]) / 2.0, 1e-9);
  }
}

}  // namespace vexa::analysis
