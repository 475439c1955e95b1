#include "analysis/noise_model.h"
#include "app/physical_constants.h"

#include <algorithm>
#include <cmath>

#include "analysis/allan_covariance.h"
#include "analysis/nonnegative_fit.h"

namespace vexa::analysis {

namespace {

// A term is resolved when the lower end of its two-sided 95 % interval lies above zero.
constexpr double kResolvedSigmas = 2.0;
constexpr double kBoundSigmas = 2.0;
constexpr int kReweightings = 4;
constexpr int kCorrelatedRounds = 3;

// Each term's factor from units and seconds to the customary unit, and that unit.
struct Conversion {
  double factor;
  const char* unit;
};
constexpr std::array<Conversion, kNoiseTerms> kGyro = {{{3600.0, "arcsec"},
                                                        {60.0, "deg/sqrt(h)"},
                                                        {3600.0, "deg/h"},
                                                        {3600.0 * 60.0, "deg/h/sqrt(h)"},
                                                        {3600.0 * 3600.0, "deg/h^2"}}};
constexpr std::array<Conversion, kNoiseTerms> kAccel = {
    {{kStandardGravity, "m/s"},
     {kStandardGravity * 60.0, "m/s/sqrt(h)"},
     {1000.0, "mg"},
     {kStandardGravity * 3600.0 * 60.0, "m/s/h/sqrt(h)"},
     {kStandardGravity * 3600.0 * 3600.0, "m/s/h^2"}}};

}  // namespace

const std::array<const char*, kNoiseTerms> kNoiseTermNames = {"Q", "N", "B", "K", "R"};

double NoiseTermBasis(int term, double tau) {
  switch (term) {
    case kTermQ:
      return 3.0 / (tau * tau);
    case kTermN:
      return 1.0 / tau;
    case kTermB:
      return 2.0 * std::log(2.0) / kPi;
    case kTermK:
      return tau / 3.0;
    default:
      return tau * tau / 2.0;
  }
}

double NoiseModel::termDeviation(int term, double tau) const {
  return std::sqrt(variance[size_t(term)] * NoiseTermBasis(term, tau));
}

double NoiseModel::deviation(double tau) const {
  double v = 0.0;
  for (int j = 0; j < kNoiseTerms; ++j) v += variance[size_t(j)] * NoiseTermBasis(j, tau);
  return std::sqrt(v);
}

NoiseModel FitNoiseModel(const std::vector<AllanPoint>& curve, int64_t samples) {
  NoiseModel model;
  std::vector<const AllanPoint*> usable;
  for (const auto& p : curve)
    if (p.adev > 0.0 && p.tau > 0.0 && p.edf > 0.0 && std::isfinite(p.adev)) usable.push_back(&p);
  const Eigen::Index n = Eigen::Index(usable.size());
  if (n < 2) return model;

  Eigen::MatrixXd A(n, kNoiseTerms);
  Eigen::VectorXd b(n), spread(n), sd(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    const AllanPoint& p = *usable[size_t(i)];
    for (int j = 0; j < kNoiseTerms; ++j) A(i, j) = NoiseTermBasis(j, p.tau);
    b(i) = p.adev * p.adev;
    spread(i) = std::sqrt(2.0 / p.edf);
  }
  // The fit with the terms in `allowed`, reweighted about its own model a few times.
  const auto solveDiagonal = [&](unsigned allowed) {
    Eigen::VectorXd spreadNow = spread;
    sd = b.cwiseProduct(spreadNow);
    NonNegativeFit fit = FitNonNegative(A, b, sd, allowed);
    for (int k = 0; k < kReweightings && fit.ok; ++k) {
      const Eigen::VectorXd fitted = A * fit.x;
      if (samples > 2) {
        for (Eigen::Index i = 0; i < n; ++i) {
          // The model's own variance slope here: its terms' slopes weighted by their shares.
          static constexpr double kTermSlope[kNoiseTerms] = {-2, -1, 0, 1, 2};
          double slope = 0.0;
          for (int j = 0; j < kNoiseTerms; ++j) slope += kTermSlope[j] * A(i, j) * fit.x(j);
          slope = fitted(i) > 0.0 ? slope / fitted(i) : -1.0;
          const int type = int(std::clamp(std::lround(slope), -2L, 1L));
          const double edf = AllanEdf(double(samples + 1), double(usable[size_t(i)]->m), type);
          spreadNow(i) = std::sqrt(2.0 / edf);
        }
      }
      // Weights from the model, floored so that a point the model misses still counts.
      sd = fitted.cwiseMax(1e-3 * b).cwiseProduct(spreadNow);
      fit = FitNonNegative(A, b, sd, allowed);
    }
    return fit;
  };

  // The overlapping points are correlated: with the record's length known, the fit is
  // generalised least squares with their covariance (whitened by its Cholesky factor). The
  // covariance comes from the model with every term free, refitted until it settles, and a term
  // that model barely holds counts at half a standard deviation above its estimate: a noise the
  // record may hold scatters the points whether or not the fit keeps its term, and a covariance
  // without it would make the terms kept look exact (a ramp alone has no scatter at all).
  std::vector<int64_t> clusters;
  for (const AllanPoint* p : usable) clusters.push_back(p->m);
  const double tau0 = usable.front()->tau / double(usable.front()->m);
  const Eigen::VectorXd ones = Eigen::VectorXd::Ones(n);
  Eigen::MatrixXd design = A;  // the columns and the point spreads the fits use
  Eigen::VectorXd scaleOfPoints, target = b;
  const auto whiten = [&](const std::array<double, kNoiseTerms>& variance) {
    Eigen::MatrixXd C = AllanVarianceCovariance(clusters, tau0, samples, variance);
    // A point the model misses keeps the spread the diagonal fit gave it at least.
    for (Eigen::Index i = 0; i < n; ++i) C(i, i) = std::max(C(i, i), 1e-6 * sd(i) * sd(i));
    const Eigen::VectorXd unit = C.diagonal().cwiseSqrt().cwiseInverse();
    const Eigen::LLT<Eigen::MatrixXd> llt(unit.asDiagonal() * C * unit.asDiagonal());
    if (llt.info() != Eigen::Success) return false;
    design = llt.matrixL().solve(unit.asDiagonal() * A);
    target = llt.matrixL().solve(unit.asDiagonal() * b);
    scaleOfPoints = ones;
    return true;
  };
  bool correlated = false;
  if (samples > 2) {
    const unsigned all = (1u << kNoiseTerms) - 1;
    NonNegativeFit full = solveDiagonal(all);
    for (int k = 0; k < kCorrelatedRounds && full.ok; ++k) {
      std::array<double, kNoiseTerms> variance{};
      for (int j = 0; j < kNoiseTerms; ++j) variance[size_t(j)] = full.x(j);
      if (!whiten(variance)) break;
      const NonNegativeFit next = FitNonNegative(design, target, ones, all);
      if (!next.ok) break;
      full = next;
      correlated = true;
    }
    if (correlated) {
      const Eigen::MatrixXd cov = CovarianceOf(design, ones, all);
      std::array<double, kNoiseTerms> variance{};
      for (int j = 0; j < kNoiseTerms; ++j) {
        const double sc = std::sqrt(std::max(0.0, cov(j, j)));
        variance[size_t(j)] = full.x(j) + (full.x(j) < kResolvedSigmas * sc ? 0.5 * sc : 0.0);
      }
      correlated = whiten(variance);
    }
  }
  const auto solve = [&](unsigned allowed) {
    if (correlated) return FitNonNegative(design, target, ones, allowed);
    NonNegativeFit fit = solveDiagonal(allowed);
    design = A;
    scaleOfPoints = sd;
    return fit;
  };

  // Neighbouring overlapping estimates share most of their data: when the points scatter more
  // than their own spreads allow, the uncertainties widen by as much.
  const double dof = double(std::max<Eigen::Index>(1, n - kNoiseTerms));
  const auto sigmaOf = [&](const NonNegativeFit& fit, const Eigen::MatrixXd& cov, int j) {
    return std::sqrt(std::max(0.0, cov(j, j)) * std::max(1.0, fit.chiSquared / dof));
  };

  // Weighed by the points' covariance, every term stays in the fit, resolved or not: a term
  // dropped would hand its share to its neighbours (a faint rate ramp to the rate random walk)
  // with an uncertainty that no longer shows it. Weighed as independent points, a term the
  // record cannot resolve is dropped, weakest first, and the rest refitted; its bound is what it
  // reached while it was free.
  unsigned allowed = (1u << kNoiseTerms) - 1;
  std::array<double, kNoiseTerms> droppedAt{};
  NonNegativeFit fit = solve(allowed);
  while (fit.ok && !correlated) {
    int weakest = -1;
    double weakestRatio = kResolvedSigmas;
    for (int j = 0; j < kNoiseTerms; ++j) {
      if (!(fit.x(j) > 0.0)) continue;
      const double ratio = fit.x(j) / std::max(sigmaOf(fit, fit.covariance, j), 1e-300);
      if (ratio <= weakestRatio) {
        weakestRatio = ratio;
        weakest = j;
      }
    }
    if (weakest < 0) break;
    droppedAt[size_t(weakest)] = fit.x(weakest);
    allowed &= ~(1u << weakest);
    fit = solve(allowed);
  }
  if (!fit.ok) return model;
  model.chiSquaredPerPoint = fit.chiSquared / double(n);

  unsigned free = 0;
  for (int j = 0; j < kNoiseTerms; ++j)
    if (fit.x(j) > 0.0) free |= 1u << j;
  for (int j = 0; j < kNoiseTerms; ++j) {
    const double c = fit.x(j);
    NoiseTerm& t = model.terms[size_t(j)];
    model.variance[size_t(j)] = c;
    t.resolved = c > 0.0 && (!correlated || c > kResolvedSigmas * sigmaOf(fit, fit.covariance, j));
    if (correlated && !t.resolved) droppedAt[size_t(j)] = c;
    if (t.resolved) {
      const double sc = sigmaOf(fit, fit.covariance, j);
      t.value = std::sqrt(c);
      t.sigma = sc / (2.0 * t.value);
    } else {
      // How large it could be with the resolved terms fitted beside it.
      const double sc = sigmaOf(fit, CovarianceOf(design, scaleOfPoints, free | (1u << j)), j);
      t.value = std::sqrt(droppedAt[size_t(j)] + kBoundSigmas * sc);
      t.sigma = std::sqrt(sc);
    }
  }
  model.ok = true;
  return model;
}

const char* SensorKindName(SensorKind kind) {
  switch (kind) {
    case SensorKind::Gyro:
      return "gyro";
    case SensorKind::Accelerometer:
      return "accelerometer";
    default:
      return "other";
  }
}

SensorKind SensorKindOf(const std::string& units) {
  if (units == "deg/sec") return SensorKind::Gyro;
  if (units == "g") return SensorKind::Accelerometer;
  return SensorKind::Other;
}

std::array<NoiseFigure, kNoiseTerms> CustomaryFigures(const NoiseModel& model, SensorKind kind,
                                                      const std::string& units) {
  static const std::array<const char*, kNoiseTerms> kOther = {"*s", "*sqrt(s)", "", "/sqrt(s)",
                                                              "/s"};
  const std::string u = units.empty() ? "units" : units;
  std::array<NoiseFigure, kNoiseTerms> f{};
  for (int j = 0; j < kNoiseTerms; ++j) {
    const NoiseTerm& t = model.terms[size_t(j)];
    double factor = 1.0;
    std::string unit = u + kOther[size_t(j)];
    if (kind != SensorKind::Other) {
      const Conversion& c = (kind == SensorKind::Gyro ? kGyro : kAccel)[size_t(j)];
      factor = c.factor;
      unit = c.unit;
    }
    f[size_t(j)] = {t.value * factor, t.sigma * factor, unit, t.resolved};
  }
  return f;
}

NoiseFigure CustomaryDensity(double density, SensorKind kind, const std::string& units) {
  NoiseFigure f;
  f.resolved = density > 0.0;
  switch (kind) {
    case SensorKind::Gyro:
      f.value = density;
      f.unit = "deg/s/sqrt(Hz)";
      break;
    case SensorKind::Accelerometer:
      f.value = density * 1000.0;
      f.unit = "mg/sqrt(Hz)";
      break;
    default:
      f.value = density;
      f.unit = (units.empty() ? std::string("units") : units) + "/sqrt(Hz)";
  }
  return f;
}

}  // namespace vexa::analysis
