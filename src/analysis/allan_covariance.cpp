#include "analysis/allan_covariance.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/physical_constants.h"

namespace vexa::analysis {

namespace {

// Points of a lag range summed at most; the covariance of two differences is a piecewise
// polynomial in the lag, so a midpoint sum over this many steps is accurate to well under 1 %.
constexpr int64_t kLagSteps = 384;
constexpr double kSecondDifference[3] = {1.0, -2.0, 1.0};

// The generalised covariance of the integrated rate at a time difference h (seconds), without
// the quantisation's share at h = 0, which is added exactly where it falls.
struct PhaseCovariance {
  double white, flicker, walk;
  double operator()(double h) const {
    const double a = std::abs(h);
    if (a == 0.0) return 0.0;
    return -white * a + walk * a * a * a + (flicker > 0.0 ? flicker * a * a * std::log(a) : 0.0);
  }
};

struct PairSum {
  const PhaseCovariance& g;
  double tau0, quant, mu1mu2;
  int64_t m1, m2, n1, n2;

  // Covariance of the second differences at lag l = (start of the m2 one) - (start of the m1 one).
  double continuous(double l) const {
    double c = 0.0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        c += kSecondDifference[i] * kSecondDifference[j] *
             g((l + double(j * m2) - double(i * m1)) * tau0);
    return c;
  }
  // How many pairs of differences lie at lag l.
  double count(int64_t l) const {
    return double(std::max<int64_t>(0, std::min(n1, n2 - l) - std::max<int64_t>(0, -l)));
  }
  double term(double c) const { return 2.0 * c * c + 4.0 * mu1mu2 * c; }

  double sum(int64_t extension) const {
    const int64_t lo = -2 * m2 - extension, hi = 2 * m1 + extension;
    const int64_t stride = std::max<int64_t>(1, (hi - lo + 1) / kLagSteps);
    double s = 0.0;
    for (int64_t l = lo; l <= hi; l += stride) {
      // The middle of the step, on a whole lag.
      const int64_t at = std::min(hi, l + stride / 2);
      s += double(stride) * count(at) * term(continuous(double(at)));
    }
    if (quant > 0.0) {
      // The quantisation counts only where two phase points coincide: a handful of lags.
      std::vector<int64_t> lags;
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) lags.push_back(int64_t(i) * m1 - int64_t(j) * m2);
      std::sort(lags.begin(), lags.end());
      lags.erase(std::unique(lags.begin(), lags.end()), lags.end());
      for (const int64_t l : lags) {
        double cq = 0.0;
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j)
            if (l + int64_t(j) * m2 - int64_t(i) * m1 == 0)
              cq += kSecondDifference[i] * kSecondDifference[j] * quant;
        const double c = continuous(double(l));
        s += count(l) * (term(c + cq) - term(c));
      }
    }
    return s;
  }
};

}  // namespace

Eigen::MatrixXd AllanVarianceCovariance(const std::vector<int64_t>& m, double tau0, int64_t samples,
                                        const std::array<double, kNoiseTerms>& variance) {
  const Eigen::Index n = Eigen::Index(m.size());
  Eigen::MatrixXd cov = Eigen::MatrixXd::Zero(n, n);
  const PhaseCovariance g{variance[kTermN] / 2.0, variance[kTermB] / (2.0 * kPi),
                          variance[kTermK] / 12.0};
  const int64_t points = samples + 1;  // of the integrated rate
  for (Eigen::Index a = 0; a < n; ++a)
    for (Eigen::Index b = a; b < n; ++b) {
      const int64_t m1 = m[size_t(a)], m2 = m[size_t(b)];
      const int64_t n1 = points - 2 * m1, n2 = points - 2 * m2;
      if (n1 <= 0 || n2 <= 0) continue;
      const double t1 = double(m1) * tau0, t2 = double(m2) * tau0;
      const PairSum pair{g,  tau0, variance[kTermQ], variance[kTermR] * t1 * t1 * t2 * t2, m1, m2,
                         n1, n2};
      // Flicker's differences stay correlated beyond their overlap, fading as the lag squared.
      const int64_t extension = variance[kTermB] > 0.0 ? 8 * (m1 + m2) : 0;
      const double norm = 4.0 * t1 * t1 * t2 * t2 * double(n1) * double(n2);
      cov(a, b) = cov(b, a) = pair.sum(extension) / norm;
    }
  return cov;
}

}  // namespace vexa::analysis
