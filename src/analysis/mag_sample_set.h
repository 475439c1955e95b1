#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "analysis/ellipsoid_fit.h"

namespace vexa::analysis {

// The magnetometer readings kept for a fit: at most one per cube of `spacing` mG, so a module
// left still (or held in one place) adds a handful of samples rather than thousands, and the
// cloud stays evenly weighted however the engineer turns it. Bounded in size.
class MagSampleSet {
 public:
  explicit MagSampleSet(double spacingMilliGauss = 4.0, size_t capacity = 20000);

  // Keeps the reading unless one already lies in its cube (or the set is full); true if kept.
  bool add(const Vec3& reading);
  void clear();

  const std::vector<Vec3>& samples() const { return samples_; }
  size_t offered() const { return offered_; }

 private:
  double spacing_;
  size_t capacity_;
  std::vector<Vec3> samples_;
  std::unordered_set<uint64_t> cells_;
  size_t offered_ = 0;
};

}  // namespace vexa::analysis
