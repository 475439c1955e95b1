#pragma once

#include "sim/sensor_motion.h"

namespace vexa::sim {

// A module turned through every orientation by hand: heading, pitch and roll each turn steadily
// at rates whose ratios are irrational, so over a minute any direction of the earth field in the
// body frame is met closely. Gravity and the field turn with the attitude; body rates are the
// derivative of the attitude. Temperature as on the bench.
class TumbleMotion {
 public:
  explicit TumbleMotion(const BenchMotionConfig& config);

  BenchState at(double seconds) const;

  // Turns per second about the heading, pitch and roll axes.
  static constexpr double kTurnsPerSecond[3] = {0.097, 0.151, 0.243};

 private:
  BenchMotionConfig config_;
  BenchMotion bench_;  // temperature only
};

}  // namespace vexa::sim
