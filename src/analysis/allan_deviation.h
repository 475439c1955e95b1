#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexa::analysis {

// One cluster time of an Allan deviation.
struct AllanPoint {
  int64_t m = 0;      // samples per cluster
  double tau = 0.0;   // cluster time, seconds
  double adev = 0.0;  // deviation, in the samples' units
  double low = 0.0;   // confidence bounds of the deviation
  double high = 0.0;
  double edf = 0.0;  // equivalent degrees of freedom behind the bounds
};

struct AllanOptions {
  // Largest cluster time as a share of the record.
  double maxShareOfRecord = 0.1;
  // Two-sided confidence of the bounds: 0.683 is the customary one-sigma interval.
  double confidence = 0.683;
};

// Called between steps with the share done (0..1); returning false cancels the computation.
using AllanProgress = std::function<bool(double share)>;

// The overlapping Allan deviation of rate samples y taken every tau0 seconds, at cluster times
// of 1, 2, 4, ... samples up to the share of the record in `options`:
//   sigma^2(m tau0) = 1 / (2 m^2 tau0^2 (N - 2m)) * sum_k (x[k+2m] - 2 x[k+m] + x[k])^2
// with x the running integral of y (N = samples + 1 points). Each cluster time costs one pass
// over the record. Bounds come from chi-squared with the equivalent degrees of freedom of the
// noise the local slope shows. Empty when cancelled or when the record is shorter than 3 samples.
std::vector<AllanPoint> OverlappingAllanDeviation(const std::vector<double>& y, double tau0,
                                                  const AllanOptions& options = {},
                                                  const AllanProgress& progress = {});

// The plain (non-overlapping) Allan deviation at m samples per cluster, for comparison.
double NonOverlappingAllanDeviation(const std::vector<double>& y, double tau0, int64_t m);

// Equivalent degrees of freedom of an overlapping Allan variance from N phase points at m
// samples per cluster, for rate noise of log-log slope `alpha` (-1 white rate, 0 flicker, +1 rate
// random walk, as slopes of the variance).
double AllanEdf(double N, double m, int noiseSlope);

// The noise type behind point i of a curve: the log-log slope of the variance (twice the
// deviation's) to its neighbours, rounded to -2 (white phase: quantisation), -1 (white rate),
// 0 (flicker) or +1 (rate random walk).
int AllanNoiseSlope(const std::vector<AllanPoint>& curve, size_t i);

// Quantile p of chi-squared with `dof` degrees of freedom (Wilson-Hilferty).
double ChiSquaredQuantile(double p, double dof);

// Whether figures read off a curve mean anything.
enum class ReadOffValidity {
  Valid,
  TooShort,     // too few cluster times to see a slope and a floor
  NoVariation,  // the values never change (a stuck or idle channel)
  NotStill,     // a drift or a motion far above the noise: not a record of a sensor at rest
};

// Why there is no read-off, in the words the command line and the viewer show; empty when Valid.
std::string ReadOffValidityText(ReadOffValidity validity);

// The figures read off a deviation curve.
struct AllanReadOffs {
  ReadOffValidity validity = ReadOffValidity::TooShort;
  bool randomWalkFound = false;
  double randomWalk = 0.0;       // the -1/2 line's value at tau = 1 s: units x sqrt(s)
  double randomWalkTau = 0.0;    // where the line was fitted
  bool floorFound = false;       // the curve flattens into its lowest point or turns up after it
  double biasInstability = 0.0;  // lowest deviation / 0.664, in units
  double floorTau = 0.0;
};

constexpr double kBiasInstabilityFactor = 0.664;  // sqrt(2 ln 2 / pi)

AllanReadOffs ReadOffs(const std::vector<AllanPoint>& curve);

// The read-offs in the customary units of the channel: gyros deg/sqrt(h) and deg/h,
// accelerometers m/s/sqrt(h) and mg, else units*sqrt(s) and units.
struct ReadOffText {
  std::string randomWalkName;  // "angle random walk", "velocity random walk", "random walk"
  double randomWalk = 0.0;
  std::string randomWalkUnits;
  double biasInstability = 0.0;
  std::string biasUnits;
};
ReadOffText CustomaryReadOffs(const AllanReadOffs& r, const std::string& units);

}  // namespace vexa::analysis
