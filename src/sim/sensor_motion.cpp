#include "sim/sensor_motion.h"
#include "app/physical_constants.h"

#include <cmath>

#include "sim/sensor_random.h"

namespace vexa::sim {

namespace {


// Amplitude (deg) and frequency (Hz) of the two components of roll, pitch and heading: a hand
// rocking the module on the bench, a few seconds a swing, so one chart sweep shows it moving.
constexpr double kWaveAmplitudes[3][2] = {{25.0, 6.0}, {18.0, 5.0}, {40.0, 8.0}};
constexpr double kWaveHertz[3][2] = {{0.11, 0.53}, {0.08, 0.41}, {0.05, 0.29}};

// Rotates a vector of the level frame into the body frame of attitude (roll, pitch, heading):
// the transpose of Rz(heading) * Ry(pitch) * Rx(roll).
Vec3 toBody(const Vec3& v, double roll, double pitch, double heading) {
  const double cr = std::cos(roll), sr = std::sin(roll);
  const double cp = std::cos(pitch), sp = std::sin(pitch);
  const double ch = std::cos(heading), sh = std::sin(heading);
  // Rz^T
  const double x1 = ch * v[0] + sh * v[1];
  const double y1 = -sh * v[0] + ch * v[1];
  const double z1 = v[2];
  // Ry^T
  const double x2 = cp * x1 - sp * z1;
  const double z2 = sp * x1 + cp * z1;
  // Rx^T
  const double y3 = cr * y1 + sr * z2;
  const double z3 = -sr * y1 + cr * z2;
  return {x2, y3, z3};
}

}  // namespace

BenchMotion::BenchMotion(const BenchMotionConfig& config) : config_(config) {
  SensorRandom random(config.seed ^ 0x6D6F74696F6E0000ull);
  for (int axis = 0; axis < 3; ++axis) {
    for (int k = 0; k < 2; ++k) {
      waves_[axis][k] = {kWaveAmplitudes[axis][k] * config.motionScale, kWaveHertz[axis][k],
                         2.0 * kPi * random.uniform()};
    }
  }
  temperaturePhase_ = 2.0 * kPi * random.uniform();
}

BenchState BenchMotion::at(double t) const {
  double angle[3];
  double rate[3];  // Euler angle rates, rad/s
  for (int axis = 0; axis < 3; ++axis) {
    angle[axis] = config_.baseAttitudeDeg[axis] * kDegToRad;
    rate[axis] = 0.0;
    for (const Wave& w : waves_[axis]) {
      if (w.amplitudeDeg == 0.0) continue;
      const double omega = 2.0 * kPi * w.hertz;
      angle[axis] += w.amplitudeDeg * kDegToRad * std::sin(omega * t + w.phase);
      rate[axis] += w.amplitudeDeg * kDegToRad * omega * std::cos(omega * t + w.phase);
    }
  }
  const double roll = angle[0], pitch = angle[1], heading = angle[2];
  const double cr = std::cos(roll), sr = std::sin(roll);
  const double cp = std::cos(pitch), sp = std::sin(pitch);

  BenchState s;
  // Body rates from the Euler angle rates.
  s.rateDegPerSec = {(rate[0] - rate[2] * sp) / kDegToRad,
                     (rate[1] * cr + rate[2] * sr * cp) / kDegToRad,
                     (-rate[1] * sr + rate[2] * cr * cp) / kDegToRad};
  s.accelG = toBody({0.0, 0.0, 1.0}, roll, pitch, heading);
  s.fieldMilliGauss = toBody(config_.earthFieldMilliGauss, roll, pitch, heading);

  // Warms up by a degree and a half over the first minutes, then wanders slowly.
  const double drift = 1.5 * (1.0 - std::exp(-t / 600.0)) +
                       0.4 * std::sin(2.0 * kPi * t / 1800.0 + temperaturePhase_);
  s.temperatureC = config_.ambientC + config_.temperatureDriftScale * drift;
  return s;
}

}  // namespace vexa::sim
