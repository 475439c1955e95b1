#pragma once

// The overlapping Allan deviation of a record that is still growing, fed its samples as they
// arrive, in memory that does not grow with the record.
//
// Cluster times up to `exactClusterMax` samples are exact: every overlapping term is summed as
// its last sample arrives, from a ring of the running integral just long enough to reach back
// two clusters. Longer cluster times would need the whole record; for them the running integral
// is kept at every D-th sample (D doubles, keeping every other point, whenever the store is
// full), and the terms starting at those points stand in for all of them. While D is 1 they are
// all of them; after that the curve marks those points as estimates. A cluster that spans
// thousands of kept points barely differs from its neighbours, so the estimate is close.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/allan_deviation.h"

namespace vexa::analysis {

struct LiveAllanLimits {
  int64_t exactClusterMax = int64_t(1) << 19;  // samples; a power of two
  int64_t storedPoints = int64_t(1) << 21;     // running-integral points kept for long clusters
};

struct LiveAllanCurve {
  std::vector<AllanPoint> points;
  // Points from this index on are estimates from the thinned running integral.
  size_t firstEstimated = 0;
  int64_t samples = 0;
};

class LiveAllan {
 public:
  explicit LiveAllan(LiveAllanLimits limits = {});

  // The next samples of the record, in order.
  void add(const double* y, size_t count);
  void add(double y) { add(&y, 1); }

  int64_t samples() const { return samples_ + int64_t(pending_.size()); }

  // The curve of the record so far, at the cluster times OverlappingAllanDeviation gives for
  // the same samples (octaves up to the options' share of the record), with its bounds.
  LiveAllanCurve curve(double tau0, const AllanOptions& options = {});

  // Means of the record over consecutive stretches of `samplesPerBlock` samples (the last
  // stretch left out until it is whole): what a drift of the mean shows in. The stretch is a
  // multiple of the thinning, at least `atLeast` samples.
  std::vector<double> blockMeans(int64_t atLeast, int64_t& samplesPerBlock);

  // Bytes held, whatever the record's length.
  size_t bytes() const;

 private:
  static constexpr size_t kStartSamples = 4096;
  void start();
  void take(const double* y, size_t count);
  void keepPoint(double x);

  LiveAllanLimits limits_;
  std::vector<int64_t> exactMs_;
  std::vector<long double> sums_;  // per exact cluster size: sum of squared second differences
  std::vector<double> ring_;       // running integral, point i at i & mask
  size_t mask_ = 0;

  std::vector<double> pending_;  // the first samples, until the offset is known
  bool started_ = false;
  double offset_ = 0.0;  // subtracted from every sample, so the integral stays small
  long double integral_ = 0.0L;
  int64_t points_ = 1;  // integral points so far: samples + 1 (point 0 is 0)
  int64_t samples_ = 0;

  std::vector<double> stored_;  // point j * stride_
  int64_t stride_ = 1;
};

}  // namespace vexa::analysis
