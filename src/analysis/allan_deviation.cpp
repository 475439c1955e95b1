#include "analysis/allan_deviation.h"
#include "app/physical_constants.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vexa::analysis {

namespace {

constexpr int64_t kProgressStep = int64_t(1) << 20;  // terms between progress reports
constexpr double kFloorMinimumEdf = 20.0;

// Inverse of the standard normal distribution (rational approximation, relative error < 1.2e-9).
double normalQuantile(double p) {
  static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                             1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
  static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                             6.680131188771972e+01, -1.328068155288572e+01};
  static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                             -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
  static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                             3.754408661907416e+00};
  p = std::clamp(p, 1e-12, 1.0 - 1e-12);
  const double low = 0.02425;
  if (p < low) {
    const double q = std::sqrt(-2 * std::log(p));
    return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
           ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
  }
  if (p > 1 - low) return -normalQuantile(1 - p);
  const double q = p - 0.5;
  const double r = q * q;
  return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
         (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

int roundedSlope(const AllanPoint& a, const AllanPoint& b) {
  const double slope = 2.0 * std::log(b.adev / a.adev) / std::log(b.tau / a.tau);
  return static_cast<int>(std::clamp(std::lround(slope), -2L, 1L));
}

}  // namespace

int AllanNoiseSlope(const std::vector<AllanPoint>& curve, size_t i) {
  if (curve.size() < 2) return -1;
  const size_t a = i == 0 ? 0 : i - 1;
  const size_t b = i + 1 < curve.size() ? i + 1 : i;
  if (a == b || curve[a].adev <= 0 || curve[b].adev <= 0) return -1;
  const int type = roundedSlope(curve[a], curve[b]);
  if (type != -2) return type;
  // White phase (quantisation) falls fastest of all types, so where it rules it has ruled since
  // the shortest cluster time; a steep step between sparse points further on is chance, and
  // white phase's degrees of freedom, which do not fall with the cluster time, would then claim
  // thousands for a point that rests on a few clusters.
  for (size_t j = 0; j < b; ++j)
    if (curve[j].adev <= 0 || curve[j + 1].adev <= 0 || roundedSlope(curve[j], curve[j + 1]) != -2)
      return -1;
  return type;
}

double ChiSquaredQuantile(double p, double dof) {
  dof = std::max(dof, 1e-3);
  const double z = normalQuantile(p);
  const double h = 2.0 / (9.0 * dof);
  const double t = 1.0 - h + z * std::sqrt(h);
  return std::max(dof * t * t * t, 1e-12 * dof);
}

double AllanEdf(double N, double m, int noiseSlope) {
  double edf = 1.0;
  switch (noiseSlope) {
    case -2:  // white noise of the integral (quantisation)
      edf = (N + 1) * (N - 2 * m) / (2 * (N - m));
      break;
    case -1:  // white rate noise
      edf = (3 * (N - 1) / (2 * m) - 2 * (N - 2) / N) * 4 * m * m / (4 * m * m + 5);
      break;
    case 0:  // flicker rate noise
      edf = m == 1 ? 2 * (N - 2) * (N - 2) / (2.3 * N - 4.9) : 5 * N * N / (4 * m * (N + 3 * m));
      break;
    default:  // rate random walk
      edf = (N - 2) / m * ((N - 1) * (N - 1) - 3 * m * (N - 1) + 4 * m * m) / ((N - 3) * (N - 3));
      break;
  }
  return std::isfinite(edf) ? std::max(edf, 1.0) : 1.0;
}

std::vector<AllanPoint> OverlappingAllanDeviation(const std::vector<double>& y, double tau0,
                                                  const AllanOptions& options,
                                                  const AllanProgress& progress) {
  const int64_t M = static_cast<int64_t>(y.size());
  if (M < 3 || !(tau0 > 0)) return {};
  const int64_t N = M + 1;

  // Cluster sizes: octaves up to the share of the record (at least one sample).
  std::vector<int64_t> ms;
  const int64_t mMax = std::max<int64_t>(1, static_cast<int64_t>(options.maxShareOfRecord * M));
  for (int64_t m = 1; m <= mMax && N - 2 * m >= 1; m *= 2) ms.push_back(m);
  double totalWork = 0;
  for (int64_t m : ms) totalWork += double(N - 2 * m);
  totalWork += double(M);  // the integral

  // The running integral of the rate, mean removed to keep the sums small.
  double mean = 0.0;
  for (double v : y) mean += v;
  mean /= double(M);
  std::vector<double> x(static_cast<size_t>(N));
  x[0] = 0.0;
  for (int64_t k = 0; k < M; ++k) x[k + 1] = x[k] + (y[k] - mean) * tau0;

  double done = double(M);
  if (progress && !progress(done / totalWork)) return {};

  std::vector<AllanPoint> curve;
  curve.reserve(ms.size());
  for (int64_t m : ms) {
    const int64_t terms = N - 2 * m;
    double sum = 0.0;
    for (int64_t start = 0; start < terms; start += kProgressStep) {
      const int64_t end = std::min(terms, start + kProgressStep);
      const double* a = x.data();
      double part = 0.0;
      for (int64_t k = start; k < end; ++k) {
        const double d = a[k + 2 * m] - 2.0 * a[k + m] + a[k];
        part += d * d;
      }
      sum += part;
      done += double(end - start);
      if (progress && !progress(done / totalWork)) return {};
    }
    AllanPoint p;
    p.m = m;
    p.tau = double(m) * tau0;
    p.adev = std::sqrt(sum / (2.0 * double(m) * double(m) * tau0 * tau0 * double(terms)));
    curve.push_back(p);
  }

  // Confidence bounds by the noise type each point's neighbourhood shows.
  const double pHigh = 0.5 + options.confidence / 2.0;
  const double pLow = 0.5 - options.confidence / 2.0;
  for (size_t i = 0; i < curve.size(); ++i) {
    AllanPoint& p = curve[i];
    p.edf = AllanEdf(double(N), double(p.m), AllanNoiseSlope(curve, i));
    p.low = p.adev * std::sqrt(p.edf / ChiSquaredQuantile(pHigh, p.edf));
    p.high = p.adev * std::sqrt(p.edf / ChiSquaredQuantile(pLow, p.edf));
  }
  return curve;
}

double NonOverlappingAllanDeviation(const std::vector<double>& y, double tau0, int64_t m) {
  const int64_t clusters = m > 0 ? int64_t(y.size()) / m : 0;
  if (clusters < 2) return 0.0;
  double sum = 0.0;
  double previous = 0.0;
  for (int64_t c = 0; c < clusters; ++c) {
    double s = 0.0;
    for (int64_t k = c * m; k < (c + 1) * m; ++k) s += y[k];
    const double average = s / double(m);
    if (c > 0) sum += (average - previous) * (average - previous);
    previous = average;
  }
  (void)tau0;
  return std::sqrt(sum / (2.0 * double(clusters - 1)));
}

namespace {

constexpr size_t kReadOffMinimumPoints = 4;  // cluster times of 1 to 8 samples
// Averaging over up to 64 taps raises the curve of white noise to a hump near the filter's
// length, up to about 6 times its first point but less than 3 times its point at 16 samples; a
// rate random walk raises it by the square root of the cluster time, so 5 times would take 25
// times the floor's cluster time. A rise of 5 times from a point past 16 samples is a drift or
// a motion.
constexpr int64_t kNotStillFromSamples = 16;
constexpr double kNotStillRise = 5.0;

ReadOffValidity validityOf(const std::vector<AllanPoint>& curve) {
  if (curve.size() < kReadOffMinimumPoints) return ReadOffValidity::TooShort;
  if (std::all_of(curve.begin(), curve.end(), [](const AllanPoint& p) { return p.adev == 0.0; }))
    return ReadOffValidity::NoVariation;
  double lowest = 0.0;
  bool have = false;
  for (const AllanPoint& p : curve) {
    if (have && p.adev > kNotStillRise * lowest) return ReadOffValidity::NotStill;
    if (p.m >= kNotStillFromSamples && (!have || p.adev < lowest)) {
      lowest = p.adev;
      have = true;
    }
  }
  return ReadOffValidity::Valid;
}

}  // namespace

std::string ReadOffValidityText(ReadOffValidity validity) {
  switch (validity) {
    case ReadOffValidity::Valid:
      return "";
    case ReadOffValidity::TooShort:
      return "no read-off: the record is too short";
    case ReadOffValidity::NoVariation:
      return "no read-off: the values do not change within the record";
    case ReadOffValidity::NotStill:
      return "the read-offs are not valid: the record does not look still (a drift or motion far "
             "above the noise)";
  }
  return "";
}

AllanReadOffs ReadOffs(const std::vector<AllanPoint>& curve) {
  AllanReadOffs r;
  r.validity = validityOf(curve);
  if (curve.empty()) return r;
  // The floor: the lowest point whose estimate rests on enough clusters (the last few points
  // scatter widely, and the least of them would read low); any point when none does.
  size_t lowest = curve.size();
  for (size_t i = 0; i < curve.size(); ++i)
    if (curve[i].edf >= kFloorMinimumEdf &&
        (lowest == curve.size() || curve[i].adev < curve[lowest].adev))
      lowest = i;
  if (lowest == curve.size()) {
    lowest = 0;
    for (size_t i = 1; i < curve.size(); ++i)
      if (curve[i].adev < curve[lowest].adev) lowest = i;
  }
  r.biasInstability = curve[lowest].adev / kBiasInstabilityFactor;
  r.floorTau = curve[lowest].tau;
  // The -1/2 line: the first segment before the floor that falls at -1/2 (within 0.1), else the
  // one nearest to -1/2 (within 0.25).
  const auto slope = [&](size_t j) {
    return std::log(curve[j + 1].adev / curve[j].adev) / std::log(curve[j + 1].tau / curve[j].tau);
  };
  const size_t segments = curve.size() - 1;
  const size_t limit = lowest > 0 ? lowest : segments;
  int chosen = -1;
  double best = 0.25;
  for (size_t j = 0; j < limit && j < segments; ++j) {
    if (curve[j].adev <= 0 || curve[j + 1].adev <= 0) continue;
    const double off = std::fabs(slope(j) + 0.5);
    if (off < 0.1) {
      chosen = int(j);
      break;
    }
    if (off < best) {
      best = off;
      chosen = int(j);
    }
  }
  if (chosen >= 0) {
    const AllanPoint& a = curve[chosen];
    const AllanPoint& b = curve[chosen + 1];
    r.randomWalkFound = true;
    r.randomWalk = std::sqrt(a.adev * std::sqrt(a.tau) * b.adev * std::sqrt(b.tau));
    r.randomWalkTau = std::sqrt(a.tau * b.tau);
  }
  // A floor: the curve has fallen to it and it is no chance low of a curve still falling: it
  // lies clearly (two standard deviations) above the -1/2 line (or, without that line, the
  // curve flattens into it), or the curve rises clearly after it. White noise alone, whose last
  // points scatter, has no floor.
  const auto clearlyAbove = [](const AllanPoint& p, double value) {
    return p.edf > 0 && p.adev * (1.0 - 2.0 / std::sqrt(2.0 * p.edf)) > value;
  };
  if (lowest > 0 && lowest + 1 < curve.size() && curve[lowest - 1].adev > 0) {
    const AllanPoint& p = curve[lowest];
    const double into =
        std::log(p.adev / curve[lowest - 1].adev) / std::log(p.tau / curve[lowest - 1].tau);
    const bool flattened =
        r.randomWalkFound ? clearlyAbove(p, r.randomWalk / std::sqrt(p.tau)) : into > -0.25;
    bool rises = false;
    for (size_t j = lowest + 1; j < curve.size(); ++j)
      rises = rises || clearlyAbove(curve[j], p.adev);
    r.floorFound = flattened || rises;
  }
  return r;
}

ReadOffText CustomaryReadOffs(const AllanReadOffs& r, const std::string& units) {
  ReadOffText t;
  if (units == "deg/sec") {
    t.randomWalkName = "angle random walk";
    t.randomWalk = r.randomWalk * 60.0;
    t.randomWalkUnits = "deg/sqrt(h)";
    t.biasInstability = r.biasInstability * 3600.0;
    t.biasUnits = "deg/h";
  } else if (units == "g") {
    t.randomWalkName = "velocity random walk";
    t.randomWalk = r.randomWalk * kStandardGravity * 60.0;
    t.randomWalkUnits = "m/s/sqrt(h)";
    t.biasInstability = r.biasInstability * 1000.0;
    t.biasUnits = "mg";
  } else {
    const std::string u = units.empty() ? "units" : units;
    t.randomWalkName = "random walk";
    t.randomWalk = r.randomWalk;
    t.randomWalkUnits = u + "/sqrt(Hz)";
    t.biasInstability = r.biasInstability;
    t.biasUnits = u;
  }
  return t;
}

}  // namespace vexa::analysis
