#include "analysis/ellipsoid_fit.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>

namespace vexa::analysis {

namespace {

// Mean and RMS distance from it, to move the problem near the unit sphere.
struct Normalisation {
  Eigen::Vector3d mean = Eigen::Vector3d::Zero();
  double scale = 1.0;
};

Normalisation normalisationOf(const std::vector<Vec3>& points) {
  Normalisation n;
  for (const Vec3& p : points) n.mean += Eigen::Vector3d(p[0], p[1], p[2]);
  n.mean /= static_cast<double>(points.size());
  double sum = 0.0;
  for (const Vec3& p : points) sum += (Eigen::Vector3d(p[0], p[1], p[2]) - n.mean).squaredNorm();
  n.scale = std::sqrt(sum / static_cast<double>(points.size()));
  if (!(n.scale > 0.0)) n.scale = 1.0;
  return n;
}

// Solves design * p = 1 in the least-squares sense; conditioning as the singular value ratio.
Eigen::VectorXd solve(const Eigen::MatrixXd& design, double& conditioning) {
  Eigen::JacobiSVD<Eigen::MatrixXd> svd(design, Eigen::ComputeThinU | Eigen::ComputeThinV);
  const auto& s = svd.singularValues();
  conditioning = s(0) > 0.0 ? s(s.size() - 1) / s(0) : 0.0;
  return svd.solve(Eigen::VectorXd::Ones(design.rows()));
}

Vec3 toVec(const Eigen::Vector3d& v) {
  return {v(0), v(1), v(2)};
}

}  // namespace

AxisEllipsoid FitAxisAlignedEllipsoid(const std::vector<Vec3>& points) {
  AxisEllipsoid fit;
  if (points.size() < 6) return fit;
  const Normalisation n = normalisationOf(points);
  Eigen::MatrixXd design(static_cast<Eigen::Index>(points.size()), 6);
  for (size_t i = 0; i < points.size(); ++i) {
    const Eigen::Vector3d q =
        (Eigen::Vector3d(points[i][0], points[i][1], points[i][2]) - n.mean) / n.scale;
    const auto row = static_cast<Eigen::Index>(i);
    design.row(row) << q(0) * q(0), q(1) * q(1), q(2) * q(2), q(0), q(1), q(2);
  }
  const Eigen::VectorXd p = solve(design, fit.conditioning);
  if (fit.conditioning < kMinConditioning) return fit;
  double g = 1.0;
  Eigen::Vector3d centre;
  for (int a = 0; a < 3; ++a) {
    if (!(p(a) > 0.0)) return fit;
    centre(a) = -p(3 + a) / (2.0 * p(a));
    g += p(3 + a) * p(3 + a) / (4.0 * p(a));
  }
  if (!(g > 0.0)) return fit;
  fit.centre = toVec(n.mean + n.scale * centre);
  for (int a = 0; a < 3; ++a) fit.radii[a] = n.scale * std::sqrt(g / p(a));
  fit.ok = true;
  return fit;
}

FullEllipsoid FitFullEllipsoid(const std::vector<Vec3>& points) {
  FullEllipsoid fit;
  if (points.size() < 9) return fit;
  const Normalisation n = normalisationOf(points);
  Eigen::MatrixXd design(static_cast<Eigen::Index>(points.size()), 9);
  for (size_t i = 0; i < points.size(); ++i) {
    const Eigen::Vector3d q =
        (Eigen::Vector3d(points[i][0], points[i][1], points[i][2]) - n.mean) / n.scale;
    const auto row = static_cast<Eigen::Index>(i);
    design.row(row) << q(0) * q(0), q(1) * q(1), q(2) * q(2), 2 * q(0) * q(1), 2 * q(0) * q(2),
        2 * q(1) * q(2), 2 * q(0), 2 * q(1), 2 * q(2);
  }
  double conditioning = 0.0;
  const Eigen::VectorXd p = solve(design, conditioning);
  if (conditioning < kMinConditioning) return fit;
  Eigen::Matrix3d m;
  m << p(0), p(3), p(4), p(3), p(1), p(5), p(4), p(5), p(2);
  const Eigen::Vector3d v(p(6), p(7), p(8));
  Eigen::LDLT<Eigen::Matrix3d> ldlt(m);
  if (ldlt.info() != Eigen::Success || !ldlt.isPositive()) return fit;
  const Eigen::Vector3d centre = -ldlt.solve(v);
  const double k = 1.0 + centre.dot(m * centre);
  if (!(k > 0.0)) return fit;
  const Eigen::Matrix3d q = m / k;  // (x - c)^T q (x - c) = 1 in normalised units
  Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eig(q);
  if (eig.info() != Eigen::Success || !(eig.eigenvalues().minCoeff() > 0.0)) return fit;

  const Eigen::Vector3d radii = eig.eigenvalues().cwiseSqrt().cwiseInverse() * n.scale;
  const double meanRadius = radii.mean();
  // W = meanRadius * Q^(1/2) in the original units (Q scales by 1 / scale^2).
  const Eigen::Matrix3d root = eig.eigenvectors() * eig.eigenvalues().cwiseSqrt().asDiagonal() *
                               eig.eigenvectors().transpose();
  const Eigen::Matrix3d w = root * (meanRadius / n.scale);

  fit.centre = toVec(n.mean + n.scale * centre);
  std::array<double, 3> sorted{radii(0), radii(1), radii(2)};
  std::sort(sorted.begin(), sorted.end(), [](double a, double b) { return a > b; });
  fit.principalRadii = sorted;
  double off = 0.0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      fit.correction[i][j] = w(i, j);
      if (i != j) off = std::max(off, std::abs(w(i, j)));
    }
  }
  const double diagonal = w.diagonal().mean();
  fit.crossAxisPercent = diagonal > 0.0 ? 100.0 * off / diagonal : 0.0;
  fit.ok = true;
  return fit;
}

}  // namespace vexa::analysis
