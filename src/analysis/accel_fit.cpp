#include "analysis/accel_fit.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>
#include <unsupported/Eigen/NonLinearOptimization>
#include <unsupported/Eigen/NumericalDiff>

#include "app/physical_constants.h"

namespace vexa::analysis {

namespace {

constexpr int kParameters = 9;
// Below this ratio of smallest to largest singular value of the weighted Jacobian the poses do
// not pin every parameter down (all of them in one plane, say).
constexpr double kMinPoseConditioning = 1e-7;
// A standard error of zero (a quantised reading that never moved) would weigh a pose without
// limit; no mean of a real sensor is known better than this.
constexpr double kSigmaFloorG = 1e-6;
constexpr double kGyroSigmaFloor = 1e-6;

constexpr const char* kAxisNames[3] = {"X", "Y", "Z"};

Vec3 unit(const Vec3& v) {
  const double n = Norm(v);
  return n > 0 ? Vec3{v[0] / n, v[1] / n, v[2] / n} : Vec3{};
}

double angleDeg(const Vec3& a, const Vec3& b) {
  const Vec3 ua = unit(a), ub = unit(b);
  const double c = std::clamp(ua[0] * ub[0] + ua[1] * ub[1] + ua[2] * ub[2], -1.0, 1.0);
  return std::acos(c) * kRadToDeg;
}

AccelErrorModel modelOf(const Eigen::VectorXd& p) {
  AccelErrorModel m;
  for (int a = 0; a < 3; ++a) {
    m.biasG[a] = p[a];
    m.scale[a] = p[3 + a];
    m.misalignmentDeg[a] = p[6 + a] * kRadToDeg;
  }
  return m;
}

// The standard error of a pose's magnitude: its axes' errors along the direction of gravity.
double magnitudeSigma(const StillPose& pose) {
  const Vec3 u = unit(pose.accelG);
  double v = 0;
  for (int a = 0; a < 3; ++a) v += std::pow(u[a] * pose.accelSigmaG[a], 2);
  return std::max(std::sqrt(v), kSigmaFloorG);
}

// Each pose's weighted residual (|T^-1 (reading - bias)| - gravity) / sigma, for Eigen's
// Levenberg-Marquardt through its numerical differentiation.
struct PoseResiduals {
  using Scalar = double;
  enum { InputsAtCompileTime = Eigen::Dynamic, ValuesAtCompileTime = Eigen::Dynamic };
  using InputType = Eigen::VectorXd;
  using ValueType = Eigen::VectorXd;
  using JacobianType = Eigen::MatrixXd;

  const std::vector<StillPose>* poses;
  std::vector<double> sigmas;
  double gravityG;

  int inputs() const { return kParameters; }
  int values() const { return static_cast<int>(poses->size()); }
  int operator()(const Eigen::VectorXd& p, Eigen::VectorXd& f) const {
    const AccelErrorModel m = modelOf(p);
    for (size_t i = 0; i < poses->size(); ++i)
      f[static_cast<Eigen::Index>(i)] =
          (Norm(CorrectReading(m, (*poses)[i].accelG)) - gravityG) / sigmas[i];
    return 0;
  }
};

// Gyro axis k at rest: reading = bias + G.row(k) x force, weighted by each pose's standard error.
void fitGyros(const std::vector<StillPose>& poses, AccelFit& fit) {
  const Eigen::Index n = static_cast<Eigen::Index>(poses.size());
  for (int k = 0; k < 3; ++k) {
    Eigen::MatrixXd a(n, 4);
    Eigen::VectorXd y(n);
    for (Eigen::Index i = 0; i < n; ++i) {
      const StillPose& p = poses[static_cast<size_t>(i)];
      const double w = 1.0 / std::max(p.gyroSigmaDegPerSec[k], kGyroSigmaFloor);
      const Vec3 force = CorrectReading(fit.model, p.accelG);
      a(i, 0) = w;
      for (int j = 0; j < 3; ++j) a(i, 1 + j) = w * force[j];
      y[i] = w * p.gyroDegPerSec[k];
    }
    const Eigen::Vector4d x = a.colPivHouseholderQr().solve(y);
    const double chi2 = (a * x - y).squaredNorm();
    const double scale = n > 4 ? std::max(1.0, chi2 / static_cast<double>(n - 4)) : 1.0;
    const Eigen::Matrix4d cov = (a.transpose() * a).inverse() * scale;
    fit.gyroBiasDegPerSec[k] = x[0];
    fit.gyroBiasSigma[k] = std::sqrt(cov(0, 0));
    for (int j = 0; j < 3; ++j) {
      fit.gyroGSensitivity[k][j] = x[1 + j];
      fit.gyroGSensitivitySigma[k][j] = std::sqrt(cov(1 + j, 1 + j));
    }
  }
}

}  // namespace

size_t DistinctPoseCount(const std::vector<StillPose>& poses) {
  std::vector<Vec3> seen;
  for (const StillPose& p : poses) {
    const bool known = std::any_of(seen.begin(), seen.end(), [&](const Vec3& s) {
      return angleDeg(s, p.accelG) < kDistinctPoseDeg;
    });
    if (!known) seen.push_back(p.accelG);
  }
  return seen.size();
}

std::string PosesProblem(const std::vector<StillPose>& poses) {
  std::string missing;
  for (int a = 0; a < 3; ++a) {
    for (double sign : {1.0, -1.0}) {
      const bool met = std::any_of(poses.begin(), poses.end(), [&](const StillPose& p) {
        return sign * unit(p.accelG)[a] >= kAxisCoveredFraction;
      });
      if (!met) {
        if (!missing.empty()) missing += ", ";
        missing += (sign > 0 ? "+" : "-") + std::string(kAxisNames[a]);
      }
    }
  }
  const size_t distinct = DistinctPoseCount(poses);
  if (distinct < kMinDistinctPoses)
    return std::to_string(distinct) + " distinct still poses; the fit needs at least " +
           std::to_string(kMinDistinctPoses) + ", with every axis once up and once down";
  if (!missing.empty())
    return "no still pose with the " + missing +
           " axis pointing up: every axis must be once up and once down";
  return {};
}

double RmsResidualMg(const std::vector<StillPose>& poses, const AccelErrorModel& model,
                     double gravityG) {
  if (poses.empty()) return 0.0;
  double sum = 0;
  for (const StillPose& p : poses)
    sum += std::pow((Norm(CorrectReading(model, p.accelG)) - gravityG) * 1000.0, 2);
  return std::sqrt(sum / static_cast<double>(poses.size()));
}

AccelFit FitAccelPoses(const std::vector<StillPose>& poses, double gravityG) {
  AccelFit fit;
  fit.gravityG = gravityG;
  fit.problem = PosesProblem(poses);
  if (!fit.problem.empty()) return fit;

  PoseResiduals residuals{&poses, {}, gravityG};
  for (const StillPose& p : poses) residuals.sigmas.push_back(magnitudeSigma(p));
  Eigen::NumericalDiff<PoseResiduals, Eigen::Central> numeric(residuals);
  Eigen::LevenbergMarquardt<Eigen::NumericalDiff<PoseResiduals, Eigen::Central>> lm(numeric);
  lm.parameters.xtol = 1e-14;
  lm.parameters.ftol = 1e-14;
  lm.parameters.maxfev = 4000;
  Eigen::VectorXd p = Eigen::VectorXd::Zero(kParameters);
  const Eigen::LevenbergMarquardtSpace::Status status = lm.minimize(p);
  if (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters ||
      status == Eigen::LevenbergMarquardtSpace::TooManyFunctionEvaluation || !p.allFinite()) {
    fit.problem = "the least-squares fit did not converge";
    return fit;
  }

  Eigen::MatrixXd j(static_cast<Eigen::Index>(poses.size()), kParameters);
  numeric.df(p, j);
  const Eigen::JacobiSVD<Eigen::MatrixXd> svd(j);
  const Eigen::VectorXd& sv = svd.singularValues();
  if (!(sv[kParameters - 1] > kMinPoseConditioning * sv[0])) {
    fit.problem =
        "the poses do not determine every parameter: lay the module in more "
        "orientations (faces and edges)";
    return fit;
  }
  Eigen::VectorXd f(static_cast<Eigen::Index>(poses.size()));
  residuals(p, f);
  const Eigen::Index dof = static_cast<Eigen::Index>(poses.size()) - kParameters;
  const double spread = dof > 0 ? std::max(1.0, f.squaredNorm() / static_cast<double>(dof)) : 1.0;
  const Eigen::MatrixXd cov = (j.transpose() * j).inverse() * spread;

  fit.ok = true;
  fit.model = modelOf(p);
  Eigen::VectorXd sd = cov.diagonal().cwiseSqrt();
  fit.sigma = modelOf(sd);
  for (const StillPose& pose : poses)
    fit.residualMg.push_back((Norm(CorrectReading(fit.model, pose.accelG)) - gravityG) * 1000.0);
  fit.rmsResidualMg = RmsResidualMg(poses, fit.model, gravityG);
  fit.trusted = fit.rmsResidualMg <= kMaxTrustedResidualMg;
  if (!fit.trusted)
    fit.problem = "the poses' RMS residual is above " + std::to_string(int(kMaxTrustedResidualMg)) +
                  " mg: the module was not still, or the sensor does not follow the model";
  fitGyros(poses, fit);
  return fit;
}

}  // namespace vexa::analysis
