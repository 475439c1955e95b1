#include "analysis/nonnegative_fit.h"

#include <cmath>
#include <limits>

namespace vexa::analysis {

namespace {

std::vector<int> columnsOf(unsigned mask, int columns) {
  std::vector<int> c;
  for (int j = 0; j < columns; ++j)
    if (mask & (1u << j)) c.push_back(j);
  return c;
}

Eigen::MatrixXd weightedColumns(const Eigen::MatrixXd& A, const Eigen::VectorXd& sd,
                                const std::vector<int>& cols) {
  Eigen::MatrixXd W(A.rows(), Eigen::Index(cols.size()));
  for (size_t k = 0; k < cols.size(); ++k)
    W.col(Eigen::Index(k)) = A.col(cols[k]).cwiseQuotient(sd);
  return W;
}

}  // namespace

Eigen::MatrixXd CovarianceOf(const Eigen::MatrixXd& A, const Eigen::VectorXd& sd, unsigned free) {
  const auto cols = columnsOf(free, int(A.cols()));
  Eigen::MatrixXd full = Eigen::MatrixXd::Zero(A.cols(), A.cols());
  if (cols.empty()) return full;
  const Eigen::MatrixXd W = weightedColumns(A, sd, cols);
  // Columns differ by many orders of magnitude (1/tau^2 against tau^2): equilibrate first.
  const Eigen::VectorXd scale = W.colwise().norm().transpose().cwiseMax(1e-300);
  const Eigen::MatrixXd Ws = W * scale.cwiseInverse().asDiagonal();
  const Eigen::MatrixXd normal = Ws.transpose() * Ws;
  const Eigen::MatrixXd inverse = normal.completeOrthogonalDecomposition().pseudoInverse();
  for (size_t r = 0; r < cols.size(); ++r)
    for (size_t c = 0; c < cols.size(); ++c)
      full(cols[r], cols[c]) = inverse(Eigen::Index(r), Eigen::Index(c)) /
                               (scale(Eigen::Index(r)) * scale(Eigen::Index(c)));
  return full;
}

NonNegativeFit FitNonNegative(const Eigen::MatrixXd& A, const Eigen::VectorXd& b,
                              const Eigen::VectorXd& sd, unsigned allowed) {
  NonNegativeFit best;
  const int n = int(A.cols());
  best.x = Eigen::VectorXd::Zero(n);
  best.chiSquared = std::numeric_limits<double>::infinity();
  const Eigen::VectorXd bw = b.cwiseQuotient(sd);
  unsigned bestMask = 0;
  for (unsigned mask = 0; mask < (1u << n); ++mask) {
    if (mask & ~allowed) continue;
    const auto cols = columnsOf(mask, n);
    Eigen::VectorXd x = Eigen::VectorXd::Zero(n);
    if (!cols.empty()) {
      const Eigen::MatrixXd W = weightedColumns(A, sd, cols);
      const Eigen::VectorXd scale = W.colwise().norm().transpose().cwiseMax(1e-300);
      const Eigen::VectorXd xs =
          (W * scale.cwiseInverse().asDiagonal()).colPivHouseholderQr().solve(bw);
      bool feasible = true;
      for (size_t k = 0; k < cols.size(); ++k) {
        const double v = xs(Eigen::Index(k)) / scale(Eigen::Index(k));
        if (!(v >= 0.0) || !std::isfinite(v)) feasible = false;
        x(cols[k]) = v;
      }
      if (!feasible) continue;
    }
    const double chi = (A * x - b).cwiseQuotient(sd).squaredNorm();
    if (chi < best.chiSquared) {
      best.chiSquared = chi;
      best.x = x;
      bestMask = mask;
      best.ok = true;
    }
  }
  unsigned free = 0;
  for (int j = 0; j < n; ++j)
    if ((bestMask & (1u << j)) && best.x(j) > 0.0) free |= 1u << j;
  best.covariance = CovarianceOf(A, sd, free);
  return best;
}

}  // namespace vexa::analysis
