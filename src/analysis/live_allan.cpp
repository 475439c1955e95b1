#include "analysis/live_allan.h"

#include <algorithm>
#include <cmath>

namespace vexa::analysis {

namespace {

constexpr size_t kBatch = 4096;  // samples taken per pass over the cluster sizes

size_t powerOfTwoAtLeast(size_t n) {
  size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

}  // namespace

LiveAllan::LiveAllan(LiveAllanLimits limits) : limits_(limits) {
  limits_.exactClusterMax = std::max<int64_t>(1, limits_.exactClusterMax);
  limits_.storedPoints = std::max<int64_t>(16, limits_.storedPoints);
  for (int64_t m = 1; m <= limits_.exactClusterMax; m *= 2) exactMs_.push_back(m);
  sums_.assign(exactMs_.size(), 0.0L);
  // The oldest point a batch reaches back to is two of the longest clusters before it.
  ring_.assign(powerOfTwoAtLeast(size_t(2 * exactMs_.back()) + kBatch), 0.0);
  mask_ = ring_.size() - 1;
  stored_.reserve(size_t(limits_.storedPoints));
  stored_.push_back(0.0);
  pending_.reserve(kStartSamples);
}

void LiveAllan::add(const double* y, size_t count) {
  if (!started_) {
    const size_t room = std::min(count, kStartSamples - pending_.size());
    pending_.insert(pending_.end(), y, y + room);
    y += room;
    count -= room;
    if (pending_.size() < kStartSamples) return;
    start();
  }
  take(y, count);
}

void LiveAllan::start() {
  // The first samples' mean keeps the running integral near zero, where a double resolves the
  // small differences the short clusters are made of, as the mean of a whole record does for
  // the offline computation; a constant offset leaves every term unchanged.
  double sum = 0.0;
  for (double v : pending_) sum += v;
  offset_ = pending_.empty() ? 0.0 : sum / double(pending_.size());
  started_ = true;
  take(pending_.data(), pending_.size());
  pending_.clear();
  pending_.shrink_to_fit();
}

void LiveAllan::keepPoint(double x) {
  if (int64_t(stored_.size()) == limits_.storedPoints) {
    const size_t half = (stored_.size() + 1) / 2;
    for (size_t j = 1; j < half; ++j) stored_[j] = stored_[2 * j];
    stored_.resize(half);
    stride_ *= 2;
  }
  stored_.push_back(x);
}

void LiveAllan::take(const double* y, size_t count) {
  while (count > 0) {
    const size_t n = std::min(count, kBatch);
    const int64_t first = points_;
    for (size_t k = 0; k < n; ++k) {
      integral_ += static_cast<long double>(y[k] - offset_);
      const double x = static_cast<double>(integral_);
      ring_[size_t(points_) & mask_] = x;
      // Thinning keeps every other point, so a point kept now stays on the grid of any later
      // stride only if the grid is counted from point 0.
      if (points_ % stride_ == 0 &&
          (int64_t(stored_.size()) < limits_.storedPoints || points_ % (2 * stride_) == 0))
        keepPoint(x);
      ++points_;
    }
    const double* r = ring_.data();
    for (size_t c = 0; c < exactMs_.size(); ++c) {
      const int64_t m = exactMs_[c];
      double part = 0.0;
      for (int64_t p = std::max(first, 2 * m); p < points_; ++p) {
        const double d =
            r[size_t(p) & mask_] - 2.0 * r[size_t(p - m) & mask_] + r[size_t(p - 2 * m) & mask_];
        part += d * d;
      }
      sums_[c] += part;
    }
    samples_ += int64_t(n);
    y += n;
    count -= n;
  }
}

LiveAllanCurve LiveAllan::curve(double tau0, const AllanOptions& options) {
  if (!started_) start();
  LiveAllanCurve out;
  const int64_t M = samples_;
  out.samples = M;
  if (M < 3 || !(tau0 > 0)) return out;
  const int64_t N = M + 1;
  const int64_t mMax = std::max<int64_t>(1, static_cast<int64_t>(options.maxShareOfRecord * M));
  out.firstEstimated = SIZE_MAX;
  for (int64_t m = 1; m <= mMax && N - 2 * m >= 1; m *= 2) {
    AllanPoint p;
    p.m = m;
    p.tau = double(m) * tau0;
    if (m <= limits_.exactClusterMax) {
      size_t c = 0;
      while ((int64_t(1) << c) < m) ++c;
      const double terms = double(N - 2 * m);
      p.adev = std::sqrt(double(sums_[c] / (2.0L * m * m * terms)));
    } else {
      if (m % stride_ != 0) break;
      const int64_t k = m / stride_;
      const int64_t J = int64_t(stored_.size());
      if (J - 2 * k < 1) break;
      const double* X = stored_.data();
      double sum = 0.0;
      for (int64_t j = 0; j + 2 * k < J; ++j) {
        const double d = X[j + 2 * k] - 2.0 * X[j + k] + X[j];
        sum += d * d;
      }
      p.adev = std::sqrt(sum / (2.0 * double(m) * double(m) * double(J - 2 * k)));
      if (stride_ > 1) out.firstEstimated = std::min(out.firstEstimated, out.points.size());
    }
    out.points.push_back(p);
  }
  out.firstEstimated = std::min(out.firstEstimated, out.points.size());

  // Bounds as the offline curve has them, from the noise type each neighbourhood shows.
  const double pHigh = 0.5 + options.confidence / 2.0;
  const double pLow = 0.5 - options.confidence / 2.0;
  for (size_t i = 0; i < out.points.size(); ++i) {
    AllanPoint& p = out.points[i];
    p.edf = AllanEdf(double(N), double(p.m), AllanNoiseSlope(out.points, i));
    p.low = p.adev * std::sqrt(p.edf / ChiSquaredQuantile(pHigh, p.edf));
    p.high = p.adev * std::sqrt(p.edf / ChiSquaredQuantile(pLow, p.edf));
  }
  return out;
}

std::vector<double> LiveAllan::blockMeans(int64_t atLeast, int64_t& samplesPerBlock) {
  if (!started_) start();
  const int64_t k = std::max<int64_t>(1, (atLeast + stride_ - 1) / stride_);
  samplesPerBlock = k * stride_;
  std::vector<double> means;
  for (size_t j = 0; j + size_t(k) < stored_.size(); j += size_t(k))
    means.push_back((stored_[j + size_t(k)] - stored_[j]) / double(samplesPerBlock) + offset_);
  return means;
}

size_t LiveAllan::bytes() const {
  return sizeof(*this) + ring_.capacity() * sizeof(double) + stored_.capacity() * sizeof(double) +
         pending_.capacity() * sizeof(double) + sums_.capacity() * sizeof(long double) +
         exactMs_.capacity() * sizeof(int64_t);
}

}  // namespace vexa::analysis
