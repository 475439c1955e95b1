#include "sim/sensor_poses.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "app/physical_constants.h"
#include "sim/sensor_random.h"

namespace vexa::sim {

namespace {

// The eighteen directions in the body frame that the hand lays upward: faces, then edges.
std::array<Eigen::Vector3d, 18> upDirections() {
  std::array<Eigen::Vector3d, 18> d;
  int n = 0;
  for (int a = 0; a < 3; ++a)
    for (double s : {1.0, -1.0}) {
      Eigen::Vector3d v = Eigen::Vector3d::Zero();
      v[a] = s;
      d[n++] = v;
    }
  const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (const auto& p : pairs)
    for (double s0 : {1.0, -1.0})
      for (double s1 : {1.0, -1.0}) {
        Eigen::Vector3d v = Eigen::Vector3d::Zero();
        v[p[0]] = s0;
        v[p[1]] = s1;
        d[n++] = v.normalized();
      }
  return d;
}

// Smooth rest-to-rest progress of a turn and its rate, over tau in [0, 1].
double progress(double tau) {
  return 0.5 * (1.0 - std::cos(kPi * tau));
}
double progressRate(double tau) {
  return 0.5 * kPi * std::sin(kPi * tau);
}

}  // namespace

PoseMotion::PoseMotion(const BenchMotionConfig& config) : config_(config), bench_(config) {}

void PoseMotion::extendTo(double seconds) const {
  static const std::array<Eigen::Vector3d, 18> kUp = upDirections();
  const Eigen::Vector3d up(0, 0, 1);
  while (legs_.empty() || legs_.back().start <= seconds) {
    // A fresh generator per shuffle, so the sequence depends on the seed alone.
    SensorRandom random(config_.seed * 7919 + draws_++);
    std::array<int, 18> order;
    for (int i = 0; i < 18; ++i) order[i] = i;
    for (int i = 17; i > 0; --i) std::swap(order[i], order[random.next() % (i + 1)]);
    for (int k : order) {
      const double start = legs_.empty() ? 0.0 : legs_.back().turnAt + kTurnSeconds;
      const double hold = kMinHoldSeconds + (kMaxHoldSeconds - kMinHoldSeconds) * random.uniform();
      const double heading = 2.0 * kPi * random.uniform();
      const double tilt = kMaxTiltDeg * kDegToRad * random.uniform();
      const double tiltAxis = 2.0 * kPi * random.uniform();
      // Body direction k to level up, tilted about a level horizontal axis, turned in heading.
      const Eigen::Quaterniond lay = Eigen::Quaterniond::FromTwoVectors(kUp[k], up);
      const Eigen::Quaterniond tilted(
          Eigen::AngleAxisd(tilt, Eigen::Vector3d(std::cos(tiltAxis), std::sin(tiltAxis), 0)));
      const Eigen::Quaterniond turned(Eigen::AngleAxisd(heading, up));
      legs_.push_back({start, start + hold, (turned * tilted * lay).normalized()});
    }
  }
}

const PoseMotion::Leg& PoseMotion::legAt(double seconds, size_t& index) const {
  extendTo(seconds);
  const auto it = std::upper_bound(legs_.begin(), legs_.end(), seconds,
                                   [](double t, const Leg& l) { return t < l.start; });
  index = it == legs_.begin() ? 0 : static_cast<size_t>(it - legs_.begin() - 1);
  return legs_[index];
}

BenchState PoseMotion::at(double seconds) const {
  BenchState s = bench_.at(seconds);
  const double t = std::max(0.0, seconds);
  size_t index = 0;
  const Leg& leg = legAt(t, index);
  Eigen::Quaterniond q = leg.attitude;
  Eigen::Vector3d rate = Eigen::Vector3d::Zero();
  if (t > leg.turnAt) {
    // Turning toward the next leg about one body axis: q(t) = q0 * exp(p(tau) * angle * axis).
    const Eigen::Quaterniond next = legs_[index + 1].attitude;
    const Eigen::AngleAxisd rel(leg.attitude.conjugate() * next);
    const double tau = std::min(1.0, (t - leg.turnAt) / kTurnSeconds);
    q = leg.attitude *
        Eigen::Quaterniond(Eigen::AngleAxisd(progress(tau) * rel.angle(), rel.axis()));
    rate = rel.axis() * (rel.angle() * progressRate(tau) / kTurnSeconds * kRadToDeg);
  }
  const Eigen::Vector3d g = q.conjugate() * Eigen::Vector3d(0, 0, 1);
  const Eigen::Vector3d& e = Eigen::Map<const Eigen::Vector3d>(config_.earthFieldMilliGauss.data());
  const Eigen::Vector3d f = q.conjugate() * e;
  for (int a = 0; a < 3; ++a) {
    s.accelG[a] = g[a];
    s.rateDegPerSec[a] = rate[a];
    s.fieldMilliGauss[a] = f[a];
  }
  return s;
}

}  // namespace vexa::sim
