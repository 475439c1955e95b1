#include "analysis/accel_still.h"

#include <algorithm>
#include <cmath>

#include "app/physical_constants.h"

namespace vexa::analysis {

namespace {

// A block with fewer readings says too little about the spread.
constexpr size_t kMinBlockReadings = 5;
// No channel's noise is taken as smaller than this (gyros deg/s, accelerometers g): a quantised
// output that never flickers would otherwise make every later flicker look like motion.
constexpr std::array<double, 6> kNoiseFloor = {0.005, 0.005, 0.005, 0.0002, 0.0002, 0.0002};

std::array<double, 6> channelsOf(const ImuSample& s) {
  return {s.gyroDegPerSec[0], s.gyroDegPerSec[1], s.gyroDegPerSec[2],
          s.accelG[0],        s.accelG[1],        s.accelG[2]};
}

double cosineToAxis(const Vec3& v, const Vec3& dir) {
  const double n = Norm(v);
  return n > 0 ? (v[0] * dir[0] + v[1] * dir[1] + v[2] * dir[2]) / n : -1.0;
}

}  // namespace

const std::array<Vec3, 12> kEdgeDirections = [] {
  std::array<Vec3, 12> e{};
  const double h = std::sqrt(0.5);
  const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  const double signs[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
  for (int p = 0; p < 3; ++p)
    for (int s = 0; s < 4; ++s) {
      Vec3 v{};
      v[pairs[p][0]] = signs[s][0] * h;
      v[pairs[p][1]] = signs[s][1] * h;
      e[p * 4 + s] = v;
    }
  return e;
}();

void StillDetector::Sums::add(const std::array<double, 6>& v) {
  ++n;
  for (int c = 0; c < 6; ++c) {
    sum[c] += v[c];
    sumSq[c] += v[c] * v[c];
  }
}

void StillDetector::Sums::add(const Sums& o) {
  n += o.n;
  for (int c = 0; c < 6; ++c) {
    sum[c] += o.sum[c];
    sumSq[c] += o.sumSq[c];
  }
}

double StillDetector::Sums::sd(int c) const {
  if (n < 2) return 0.0;
  const double m = mean(c);
  const double var = (sumSq[c] - static_cast<double>(n) * m * m) / static_cast<double>(n - 1);
  return std::sqrt(std::max(0.0, var));
}

bool StillDetector::add(double seconds, const ImuSample& sample) {
  if (blockStart_ < 0) blockStart_ = seconds;
  bool closed = false;
  if (seconds - blockStart_ >= kBlockSeconds) {
    closed = closeBlockReturningPose();
    blockStart_ = seconds;
  }
  block_.add(channelsOf(sample));
  return closed;
}

bool StillDetector::quiet(const Sums& b) const {
  for (int c = 0; c < 6; ++c) {
    const double noise = std::max(floor_[c], kNoiseFloor[c]);
    if (b.sd(c) > kSpreadFactor * noise) return false;
    if (previousQuiet_) {
      const double se = noise * std::sqrt(1.0 / static_cast<double>(b.n) +
                                          1.0 / static_cast<double>(previous_.n));
      if (std::abs(b.mean(c) - previous_.mean(c)) > kMeanFactor * se) return false;
    }
  }
  return true;
}

bool StillDetector::closeBlockReturningPose() {
  const Sums b = block_;
  block_ = Sums{};
  if (b.n < kMinBlockReadings) return false;
  for (int c = 0; c < 6; ++c) floor_[c] = blocksSeen_ == 0 ? b.sd(c) : std::min(floor_[c], b.sd(c));
  ++blocksSeen_;
  const bool q = quiet(b);
  bool closed = false;
  if (q) {
    if (!inRun_) {
      run_ = Candidate{};  // the settling block is left out
      inRun_ = true;
    } else {
      if (run_.pending.n > 0)
        for (int c = 0; c < 6; ++c) run_.worstSd[c] = std::max(run_.worstSd[c], run_.pending.sd(c));
      run_.kept.add(run_.pending);
      run_.pending = b;
    }
    ++run_.blocks;
  } else if (inRun_) {
    closed = closeRun();
  }
  previous_ = b;
  previousQuiet_ = q;
  lastQuiet_ = q;
  return closed;
}

bool StillDetector::closeRun() {
  inRun_ = false;
  const Sums& k = run_.kept;
  // The first block is out; of the rest the last is pending and left out too.
  const double seconds =
      run_.blocks >= 2 ? static_cast<double>(run_.blocks - 2) * kBlockSeconds : 0.0;
  if (k.n < 2 || seconds + 1e-9 < minSeconds_) return false;
  Found f;
  f.worstSd = run_.worstSd;
  f.pose.samples = k.n;
  f.pose.seconds = seconds;
  const double root = std::sqrt(static_cast<double>(k.n));
  for (int a = 0; a < 3; ++a) {
    f.pose.gyroDegPerSec[a] = k.mean(a);
    f.pose.gyroSigmaDegPerSec[a] = k.sd(a) / root;
    f.pose.accelG[a] = k.mean(3 + a);
    f.pose.accelSigmaG[a] = k.sd(3 + a) / root;
  }
  found_.push_back(f);
  poses_.push_back(f.pose);
  return true;
}

void StillDetector::finish() {
  if (block_.n >= kMinBlockReadings) closeBlockReturningPose();
  if (inRun_) closeRun();
  poses_.clear();
  for (const Found& f : found_) {
    bool ok = true;
    for (int c = 0; c < 6; ++c)
      ok = ok && f.worstSd[c] <= kSpreadFactor * std::max(floor_[c], kNoiseFloor[c]);
    if (ok) poses_.push_back(f.pose);
  }
}

size_t PoseCoverage::covered() const {
  return static_cast<size_t>(std::count(faces.begin(), faces.end(), true) +
                             std::count(edges.begin(), edges.end(), true));
}

PoseCoverage CoverageOfPoses(const std::vector<StillPose>& poses) {
  PoseCoverage c;
  const double limit = std::cos(kCoverageDeg * kDegToRad);
  for (const StillPose& p : poses) {
    for (int f = 0; f < 6; ++f) {
      Vec3 dir{};
      dir[f / 2] = f % 2 == 0 ? 1.0 : -1.0;
      if (cosineToAxis(p.accelG, dir) >= limit) c.faces[f] = true;
    }
    for (size_t e = 0; e < kEdgeDirections.size(); ++e)
      if (cosineToAxis(p.accelG, kEdgeDirections[e]) >= limit) c.edges[e] = true;
  }
  return c;
}

}  // namespace vexa::analysis
