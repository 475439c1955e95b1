#pragma once

#include <cstdint>
#include <vector>

#include <Eigen/Geometry>

#include "sim/sensor_motion.h"

namespace vexa::sim {

// A module turned by an invisible hand through a random sequence of still orientations, as an
// engineer calibrating the accelerometers lays it on each face and edge: every orientation is
// held still for a few seconds, with a smooth turn (rest to rest) between. The hand goes
// through the six faces and twelve edges in a shuffled order, each tilted a few degrees and
// turned to a random heading, then starts a new shuffle. Gravity and the field turn with the
// attitude; body rates are the derivative of the attitude. Temperature as on the bench.
class PoseMotion {
 public:
  static constexpr double kMinHoldSeconds = 6.0;
  static constexpr double kMaxHoldSeconds = 9.0;
  static constexpr double kTurnSeconds = 2.5;
  static constexpr double kMaxTiltDeg = 6.0;

  explicit PoseMotion(const BenchMotionConfig& config);

  BenchState at(double seconds) const;

 private:
  struct Leg {
    double start;                 // the hold begins
    double turnAt;                // the hold ends and the turn to the next leg begins
    Eigen::Quaterniond attitude;  // body to level
  };
  const Leg& legAt(double seconds, size_t& index) const;
  void extendTo(double seconds) const;

  BenchMotionConfig config_;
  BenchMotion bench_;  // temperature only
  mutable std::vector<Leg> legs_;
  mutable uint64_t draws_ = 0;
};

}  // namespace vexa::sim
