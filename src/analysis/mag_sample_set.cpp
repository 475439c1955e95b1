#include "analysis/mag_sample_set.h"

#include <cmath>

namespace vexa::analysis {

MagSampleSet::MagSampleSet(double spacingMilliGauss, size_t capacity)
    : spacing_(spacingMilliGauss > 0.0 ? spacingMilliGauss : 1.0), capacity_(capacity) {}

bool MagSampleSet::add(const Vec3& r) {
  ++offered_;
  if (samples_.size() >= capacity_) return false;
  for (double v : r)
    if (!std::isfinite(v) || std::abs(v) > 1e9) return false;
  uint64_t key = 0;
  for (int a = 0; a < 3; ++a) {
    // 21 bits per axis: +-2^20 cubes reach far beyond any reading the registers give.
    const auto cell = static_cast<int64_t>(std::floor(r[a] / spacing_)) + (int64_t{1} << 20);
    key = (key << 21) | (static_cast<uint64_t>(cell) & 0x1FFFFF);
  }
  if (!cells_.insert(key).second) return false;
  samples_.push_back(r);
  return true;
}

void MagSampleSet::clear() {
  samples_.clear();
  cells_.clear();
  offered_ = 0;
}

}  // namespace vexa::analysis
