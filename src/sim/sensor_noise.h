#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/sensor_random.h"

namespace vexa::sim {

// Noise of one kind of inertial element, in the figures a data sheet states.
struct InertialNoiseFigures {
  double randomWalk = 0.0;       // gyro deg/sqrt(h); accelerometer m/s/sqrt(h)
  double biasInstability = 0.0;  // gyro deg/h; accelerometer mg
  double rateRandomWalk = 0.0;   // gyro deg/h/sqrt(h); accelerometer mg/sqrt(h)
};

// The noise model of the gyros and accelerometers. Disabled, the sensor keeps its plain white
// noise per sample. The figures are those of a bench-grade part whose terms all show within a
// two-hour still record: random walk up to about 0.5 s, bias instability to about 30 s, rate
// random walk beyond; quantisation (see `OutputQuantisation`) in the first few samples. The
// rate ramp of a still sensor at a steady temperature is zero.
struct SensorNoiseConfig {
  bool enabled = false;
  InertialNoiseFigures gyro{0.4, 50.0, 600.0};
  InertialNoiseFigures accel{0.1, 0.3, 3.8};
};

// Quantisation: with the noise model on, each output register holds its count rounded with the
// rounding error carried into the next sample, as an integrating converter does, so the output's
// integral never strays more than half a count from the true one. That error is white noise of
// the integral: the Allan variance's 3 Q^2 / tau^2 term with Q = count * period / sqrt(12)
// (units x s), instead of the white rate noise plain rounding would add to N.
double OutputQuantisation(double countInUnits, double periodSeconds);

// Noise of one axis in the output's own units (deg/sec or g):
// - white rate noise of density N (units x sqrt(s)): the mean over each sample period, so the
//   Allan deviation falls as N / sqrt(tau);
// - bias instability B (units): a sum of first-order Gauss-Markov processes with correlation
//   times spaced by four from 0.02 s to about 1.5 h, weighted for a flat Allan deviation of
//   0.664 B between them (flicker noise);
// - rate random walk K (units / sqrt(s)): a bias that wanders, sqrt(tau / 3) K.
class AxisNoise {
 public:
  AxisNoise(double whiteDensity, double biasInstability, double rateRandomWalk, uint64_t seed);

  // The noise of the sample that ends `dt` seconds after the previous one.
  double next(double dt);

  // Correlation times of the flicker terms, seconds.
  static const std::vector<double>& correlationTimes();
  // The Allan deviation of the flicker terms alone at cluster time tau, per unit of B.
  static double flickerDeviationPerUnit(double tau);

 private:
  void prepare(double dt);

  double white_;
  double flickerSigma_;  // standard deviation of each Gauss-Markov term
  double walk_;
  SensorRandom random_;
  std::vector<double> markov_;
  std::vector<double> keep_;   // exp(-dt / T) per term
  std::vector<double> drive_;  // the new part's standard deviation per term
  double preparedDt_ = -1.0;
  double bias_ = 0.0;  // the rate random walk's present value
};

// The six axes: gyros x, y, z then accelerometers x, y, z.
class SensorNoise {
 public:
  SensorNoise(const SensorNoiseConfig& config, uint64_t seed);
  bool enabled() const { return config_.enabled; }
  double gyro(int axis, double dt) { return axes_[axis].next(dt); }
  double accel(int axis, double dt) { return axes_[3 + axis].next(dt); }
  // The count an output register holds for `counts` (the value over the count's size) on axis
  // 0..5, the rounding error carried to the axis's next sample.
  int32_t quantise(int axis, double counts);
  const SensorNoiseConfig& config() const { return config_; }

 private:
  SensorNoiseConfig config_;
  std::vector<AxisNoise> axes_;
  std::array<double, 6> carried_{};
};

// The figures in the output's units: white density (units x sqrt(s)), bias instability (units),
// rate random walk (units / sqrt(s)).
std::array<double, 3> GyroNoiseInUnits(const InertialNoiseFigures& f);   // deg/sec
std::array<double, 3> AccelNoiseInUnits(const InertialNoiseFigures& f);  // g

}  // namespace vexa::sim
