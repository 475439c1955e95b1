#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/allan_deviation.h"

namespace vexa::analysis {

// The five terms of the standard inertial noise model, in the order of the fit:
// quantisation Q, (angle or velocity) random walk N, bias instability B, rate (or acceleration)
// random walk K and rate ramp R.
enum NoiseTermIndex { kTermQ = 0, kTermN, kTermB, kTermK, kTermR, kNoiseTerms };
extern const std::array<const char*, kNoiseTerms> kNoiseTermNames;  // "Q", "N", "B", "K", "R"

// The Allan variance each term adds per unit of its coefficient squared:
// 3/tau^2, 1/tau, 2 ln 2 / pi, tau/3, tau^2/2.
double NoiseTermBasis(int term, double tau);

// One fitted term in the channel's own units and seconds: Q units*s, N units*sqrt(s), B units,
// K units/sqrt(s), R units/s.
struct NoiseTerm {
  double value = 0.0;  // resolved: the estimate; not resolved: the upper bound the record gives
  double sigma = 0.0;  // one standard deviation of the estimate (of the bound's scale if not)
  bool resolved = false;
};

struct NoiseModel {
  bool ok = false;  // false when the curve had too few usable points
  std::array<NoiseTerm, kNoiseTerms> terms{};
  std::array<double, kNoiseTerms> variance{};  // fitted coefficients squared (zero when held)
  double chiSquaredPerPoint = 0.0;
  // The model's Allan deviation at tau, and one term's alone (for drawing its line).
  double deviation(double tau) const;
  double termDeviation(int term, double tau) const;
};

// Fits the five terms to the Allan variance (the squares of the curve's points) by weighted
// least squares with non-negative coefficients. Each point weighs by its confidence: the
// variance estimate's relative spread is sqrt(2 / edf), taken about the model (refitted a few
// times) rather than the noisy point itself, which would favour points that scattered low.
// Given the record's `samples`, the degrees of freedom too come from the noise type the model
// shows at each point rather than the point's own (data-dependent, hence again biased) type. A
// term is resolved when it stands three standard deviations clear of zero; otherwise its value
// is the bound (estimate plus two standard deviations) the record leaves room for.
NoiseModel FitNoiseModel(const std::vector<AllanPoint>& curve, int64_t samples = 0);

// What a channel measures, for its units.
enum class SensorKind { Gyro, Accelerometer, Other };
const char* SensorKindName(SensorKind kind);  // "gyro", "accelerometer", "other"
// Gyro for deg/sec, accelerometer for g; raw counts and anything else are "other".
SensorKind SensorKindOf(const std::string& units);

// A term in the units engineers state it in.
struct NoiseFigure {
  double value = 0.0;
  double sigma = 0.0;
  std::string unit;
  bool resolved = false;
};
// Gyro: Q arcsec, N deg/sqrt(h), B deg/h, K deg/h/sqrt(h), R deg/h^2. Accelerometer: Q m/s,
// N m/s/sqrt(h), B mg, K m/s/h/sqrt(h), R m/s/h^2. Other: the channel's units with seconds.
std::array<NoiseFigure, kNoiseTerms> CustomaryFigures(const NoiseModel& model, SensorKind kind,
                                                      const std::string& units);
// A noise density (units/sqrt(Hz), the value of N in units*sqrt(s)) as a datasheet states it:
// deg/s/sqrt(Hz) for gyros, mg/sqrt(Hz) for accelerometers.
NoiseFigure CustomaryDensity(double density, SensorKind kind, const std::string& units);

}  // namespace vexa::analysis
