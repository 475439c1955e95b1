#include "analysis/noise_density.h"
#include "app/physical_constants.h"

#include <fftw3.h>

#include <cmath>
#include <memory>
#include <mutex>

#include "analysis/nonnegative_fit.h"

namespace vexa::analysis {

namespace {

constexpr int kMinimumSamples = 64;
constexpr double kBandsPerDecade = 20.0;

struct FftwFree {
  void operator()(void* p) const { fftw_free(p); }
};

// FFTW's planner keeps state of its own and is not safe from two threads at once (the
// viewer's worker and the window may both plan); executing a plan is.
std::mutex& plannerMutex() {
  static std::mutex m;
  return m;
}

// Two-sided power spectral density at bins 0 .. L/2 (units^2/Hz).
std::vector<double> welchPower(const std::vector<double>& y, double tau0, int L, int& segments) {
  const int bins = L / 2 + 1;
  std::unique_ptr<double, FftwFree> in(static_cast<double*>(fftw_malloc(sizeof(double) * L)));
  std::unique_ptr<fftw_complex, FftwFree> out(
      static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * bins)));
  segments = 0;
  if (!in || !out) return {};
  fftw_plan plan;
  {
    std::lock_guard<std::mutex> lock(plannerMutex());
    plan = fftw_plan_dft_r2c_1d(L, in.get(), out.get(), FFTW_ESTIMATE);
  }
  if (!plan) return {};
  std::vector<double> window(size_t(L), 0.0);
  double windowPower = 0.0;
  for (int k = 0; k < L; ++k) {
    window[size_t(k)] = 0.5 - 0.5 * std::cos(2.0 * kPi * k / L);  // periodic Hann
    windowPower += window[size_t(k)] * window[size_t(k)];
  }
  std::vector<double> sum(size_t(bins), 0.0);
  const size_t step = size_t(L / 2);
  for (size_t start = 0; start + size_t(L) <= y.size(); start += step, ++segments) {
    double mean = 0.0;
    for (int k = 0; k < L; ++k) mean += y[start + size_t(k)];
    mean /= L;
    for (int k = 0; k < L; ++k) in.get()[k] = (y[start + size_t(k)] - mean) * window[size_t(k)];
    fftw_execute(plan);
    for (int k = 0; k < bins; ++k)
      sum[size_t(k)] += out.get()[k][0] * out.get()[k][0] + out.get()[k][1] * out.get()[k][1];
  }
  {
    std::lock_guard<std::mutex> lock(plannerMutex());
    fftw_destroy_plan(plan);
  }
  for (double& s : sum) s *= tau0 / (double(segments) * windowPower);
  return sum;
}

}  // namespace

NoiseDensity WelchDensity(const std::vector<double>& y, double tau0) {
  NoiseDensity d;
  if (y.size() < size_t(kMinimumSamples) || !(tau0 > 0.0)) return d;
  int L = 16;
  while (size_t(L) * 2 <= y.size() / 8 && L < (1 << 24)) L *= 2;
  d.segmentLength = L;
  const std::vector<double> power = welchPower(y, tau0, L, d.segments);
  if (power.empty() || d.segments == 0) return d;

  // Bands of equal width in log frequency (DC left out): each averages its bins.
  const double df = 1.0 / (L * tau0);
  std::vector<double> bandPower, bandCount;
  for (size_t k = 1; k < power.size();) {
    const double edge = k * df * std::pow(10.0, 1.0 / kBandsPerDecade);
    double f = 0.0, p = 0.0;
    int count = 0;
    for (; k < power.size() && (count == 0 || k * df < edge); ++k, ++count) {
      f += k * df;
      p += power[k];
    }
    d.frequency.push_back(f / count);
    bandPower.push_back(p / count);
    bandCount.push_back(count);
  }

  // The white level: white, flicker, random walk and quantisation fitted to the bands, each
  // band's spread from its model and the number of bins and segments behind it.
  const Eigen::Index n = Eigen::Index(bandPower.size());
  Eigen::MatrixXd A(n, 4);
  Eigen::VectorXd b(n), spread(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    const double f = d.frequency[size_t(i)];
    const double s = std::sin(kPi * f * tau0);
    A.row(i) << 1.0, 1.0 / f, 1.0 / (f * f), 4.0 * s * s / tau0;
    b(i) = bandPower[size_t(i)];
    spread(i) = 1.0 / std::sqrt(bandCount[size_t(i)] * std::max(1, d.segments));
  }
  Eigen::VectorXd sd = b.cwiseMax(1e-300).cwiseProduct(spread);
  NonNegativeFit fit = FitNonNegative(A, b, sd);
  for (int k = 0; k < 3 && fit.ok; ++k) {
    sd = (A * fit.x).cwiseMax(1e-3 * b).cwiseMax(1e-300).cwiseProduct(spread);
    fit = FitNonNegative(A, b, sd);
  }
  for (double p : bandPower) d.density.push_back(std::sqrt(p));
  if (fit.ok && fit.x(0) > 0.0) {
    d.whiteFound = true;
    d.white = std::sqrt(fit.x(0));
    d.whiteSigma = std::sqrt(std::max(0.0, fit.covariance(0, 0))) / (2.0 * d.white);
    for (Eigen::Index i = 0; i < n; ++i) {
      if (fit.x(0) < 0.5 * A.row(i).dot(fit.x)) continue;
      if (d.flatFrom == 0.0) d.flatFrom = d.frequency[size_t(i)];
      d.flatTo = d.frequency[size_t(i)];
    }
  }
  return d;
}

}  // namespace vexa::analysis
