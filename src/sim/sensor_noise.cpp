#include "sim/sensor_noise.h"
#include "app/physical_constants.h"

#include <algorithm>
#include <cmath>

namespace vexa::sim {

namespace {

constexpr double kBiasInstabilityFactor = 0.664;

// Allan variance of a Gauss-Markov process of unit variance and correlation time T.
double markovVariance(double T, double tau) {
  const double a = std::exp(-tau / T);
  return T / (tau * tau) * (2.0 * tau - T * (3.0 - 4.0 * a + a * a));
}

// Standard deviation of each flicker term per unit of bias instability: the mean deviation over
// the flat part (from four times the shortest to a quarter of the longest correlation time)
// is 0.664 units.
double flickerSigmaPerUnit() {
  static const double sigma = [] {
    const auto& T = AxisNoise::correlationTimes();
    const double from = std::log(4.0 * T.front());
    const double to = std::log(T.back() / 4.0);
    constexpr int kSteps = 64;
    double mean = 0.0;
    for (int i = 0; i <= kSteps; ++i) {
      double v = 0.0;
      const double tau = std::exp(from + (to - from) * i / kSteps);
      for (double t : T) v += markovVariance(t, tau);
      mean += std::sqrt(v);
    }
    mean /= kSteps + 1;
    return kBiasInstabilityFactor / mean;
  }();
  return sigma;
}

}  // namespace

const std::vector<double>& AxisNoise::correlationTimes() {
  static const std::vector<double> times = [] {
    std::vector<double> t;
    for (double c = 0.02; c < 6000.0; c *= 4.0) t.push_back(c);
    return t;
  }();
  return times;
}

double AxisNoise::flickerDeviationPerUnit(double tau) {
  const double s = flickerSigmaPerUnit();
  double v = 0.0;
  for (double t : correlationTimes()) v += markovVariance(t, tau);
  return s * std::sqrt(v);
}

AxisNoise::AxisNoise(double whiteDensity, double biasInstability, double rateRandomWalk,
                     uint64_t seed)
    : white_(whiteDensity),
      flickerSigma_(biasInstability * flickerSigmaPerUnit()),
      walk_(rateRandomWalk),
      random_(seed) {
  // Start in the steady state, as a sensor that has been on for a while.
  for (size_t i = 0; i < correlationTimes().size(); ++i)
    markov_.push_back(flickerSigma_ * random_.gaussian());
}

void AxisNoise::prepare(double dt) {
  preparedDt_ = dt;
  keep_.clear();
  drive_.clear();
  for (double T : correlationTimes()) {
    const double a = std::exp(-dt / T);
    keep_.push_back(a);
    drive_.push_back(flickerSigma_ * std::sqrt(1.0 - a * a));
  }
}

double AxisNoise::next(double dt) {
  if (!(dt > 0.0)) return 0.0;
  if (dt != preparedDt_) prepare(dt);
  double value = white_ / std::sqrt(dt) * random_.gaussian();
  for (size_t i = 0; i < markov_.size(); ++i) {
    markov_[i] = keep_[i] * markov_[i] + drive_[i] * random_.gaussian();
    value += markov_[i];
  }
  if (walk_ > 0.0) bias_ += walk_ * std::sqrt(dt) * random_.gaussian();
  return value + bias_;
}

std::array<double, 3> GyroNoiseInUnits(const InertialNoiseFigures& f) {
  return {f.randomWalk / 60.0, f.biasInstability / 3600.0, f.rateRandomWalk / 3600.0 / 60.0};
}

std::array<double, 3> AccelNoiseInUnits(const InertialNoiseFigures& f) {
  return {f.randomWalk / 60.0 / kStandardGravity, f.biasInstability / 1000.0,
          f.rateRandomWalk / 1000.0 / 60.0};
}

double OutputQuantisation(double countInUnits, double periodSeconds) {
  return countInUnits * periodSeconds / std::sqrt(12.0);
}

int32_t SensorNoise::quantise(int axis, double counts) {
  double& carried = carried_[size_t(axis)];
  const double wanted = counts + carried;
  const double held = std::clamp(std::round(wanted), -2147483647.0, 2147483647.0);
  // A saturated output cannot pay back its error: carry at most half a count.
  carried = std::clamp(wanted - held, -0.5, 0.5);
  return static_cast<int32_t>(held);
}

SensorNoise::SensorNoise(const SensorNoiseConfig& config, uint64_t seed) : config_(config) {
  const auto g = GyroNoiseInUnits(config.gyro);
  const auto a = AccelNoiseInUnits(config.accel);
  for (int i = 0; i < 3; ++i) axes_.emplace_back(g[0], g[1], g[2], seed * 16 + 0x51ull + i);
  for (int i = 0; i < 3; ++i) axes_.emplace_back(a[0], a[1], a[2], seed * 16 + 0x61ull + i);
}

}  // namespace vexa::sim
