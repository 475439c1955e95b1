#include "support/noise_records.h"

#include <fftw3.h>

#include <cmath>
#include <complex>

#include "analysis/allan_deviation.h"
#include "analysis/noise_model.h"
#include "sim/sensor_random.h"

namespace vexa::noise_records {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Flicker rate noise: white Gaussian spectrum shaped to a one-sided density B^2 / (pi f), on a
// transform twice the record so that its wrap-around falls outside the record.
std::vector<double> flicker(double B, double tau0, size_t samples, sim::SensorRandom& random) {
  size_t L = 1;
  while (L < 2 * samples) L <<= 1;
  std::vector<std::complex<double>> spectrum(L / 2 + 1);
  for (size_t k = 1; k < spectrum.size(); ++k) {
    const double f = double(k) / (double(L) * tau0);
    const double oneSided = B * B / (kPi * f);
    // E|Y_k|^2 = L S(f) / (2 tau0) for an unnormalised transform of length L.
    const double scale = std::sqrt(double(L) * oneSided / (2.0 * tau0));
    const double re = random.gaussian(), im = random.gaussian();
    spectrum[k] = k == L / 2 ? std::complex<double>(scale * re, 0.0)
                             : scale * std::complex<double>(re, im) / std::sqrt(2.0);
  }
  std::vector<double> y(L);
  fftw_plan plan = fftw_plan_dft_c2r_1d(int(L), reinterpret_cast<fftw_complex*>(spectrum.data()),
                                        y.data(), FFTW_ESTIMATE);
  fftw_execute(plan);
  fftw_destroy_plan(plan);
  y.resize(samples);
  for (double& v : y) v /= double(L);
  return y;
}

}  // namespace

std::vector<double> NoiseRecord(const NoiseTruth& truth, double tau0, size_t samples,
                                uint64_t seed) {
  sim::SensorRandom random(seed);
  std::vector<double> y =
      truth.B > 0.0 ? flicker(truth.B, tau0, samples, random) : std::vector<double>(samples);
  double walk = 0.0, angle = 0.0, roundedBefore = 0.0;
  const double step = truth.Q * std::sqrt(12.0);
  for (size_t i = 0; i < samples; ++i) {
    double rate =
        y[i] + truth.N / std::sqrt(tau0) * random.gaussian() + walk + truth.R * double(i) * tau0;
    walk += truth.K * std::sqrt(tau0) * random.gaussian();
    if (step > 0.0) {
      // Offset by a random phase so the first rounding error is as random as the rest.
      if (i == 0) angle = step * random.uniform(), roundedBefore = std::round(angle / step) * step;
      angle += rate * tau0;
      const double rounded = std::round(angle / step) * step;
      rate = (rounded - roundedBefore) / tau0;
      roundedBefore = rounded;
    }
    y[i] = rate;
  }
  return y;
}

CaseCoverage StudyCoverage(const CoverageCase& c, int records, uint64_t firstSeed) {
  CaseCoverage out;
  const double tau0 = 1.0 / c.rateHz;
  const size_t samples = size_t(c.hours * 3600.0 * c.rateHz);
  for (int r = 0; r < records; ++r) {
    const auto y = NoiseRecord(c.truth, tau0, samples, firstSeed + uint64_t(r));
    const auto model =
        analysis::FitNoiseModel(analysis::OverlappingAllanDeviation(y, tau0), int64_t(samples));
    if (!model.ok) {
      ++out.failedFits;
      continue;
    }
    for (int j = 0; j < 5; ++j) {
      const auto& t = model.terms[size_t(j)];
      TermCoverage& s = out.terms[size_t(j)];
      const double truth = c.truth.term(j);
      ++s.records;
      if (truth == 0.0) {
        s.falseResolved += t.resolved;
        continue;
      }
      if (!t.resolved) continue;
      ++s.resolved;
      const double miss = std::abs(t.value - truth);
      s.within1 += miss <= t.sigma;
      s.within2 += miss <= 2.0 * t.sigma;
      s.meanError += (t.value - truth) / truth;
    }
  }
  for (auto& s : out.terms)
    if (s.resolved) s.meanError /= double(s.resolved);
  return out;
}

}  // namespace vexa::noise_records
