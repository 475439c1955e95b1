#pragma once

#include <vector>

#include "analysis/ellipsoid_fit.h"

namespace vexa::analysis {

// The sphere of directions cut into bins of equal area: latitude bands whose edges are chosen
// so that every band holds a whole number of equal cells (a band's area is 2 pi times its
// height in z), each band cut into equal longitude cells. About as many cells per band as make
// them roughly square.
class SphereBins {
 public:
  // `bands` bands, about `target` bins in all.
  explicit SphereBins(int bands = 10, int target = 150);

  int count() const { return total_; }
  int bands() const { return static_cast<int>(cells_.size()); }
  int cellsInBand(int band) const { return cells_[band]; }
  // z of the band's upper and lower edges (1 at the north pole).
  double bandTop(int band) const { return edges_[band]; }
  double bandBottom(int band) const { return edges_[band + 1]; }
  // First bin number of a band; bins run band by band from the north pole, west to east.
  int firstBin(int band) const { return first_[band]; }

  // The bin of a direction (need not be unit length; the zero vector falls in bin 0).
  int binOf(const Vec3& direction) const;

 private:
  std::vector<int> cells_;
  std::vector<int> first_;
  std::vector<double> edges_;  // bands + 1 values from 1 down to -1
  int total_ = 0;
};

// Which bins hold at least one point, seen from `centre` with each axis divided by its radius
// (so a distorted cloud is judged by the directions of the field, not of the readings).
struct Coverage {
  std::vector<bool> filled;
  int filledBins = 0;
  double percent = 0.0;
};

Coverage CoverageOf(const SphereBins& bins, const std::vector<Vec3>& points, const Vec3& centre,
                    const Vec3& radii);

// Centre and half-ranges of the points' bounding box: a stand-in for the fit before there is one.
void BoxEstimate(const std::vector<Vec3>& points, Vec3& centre, Vec3& radii);

}  // namespace vexa::analysis
