#pragma once

#include <Eigen/Dense>

namespace vexa::analysis {

// A weighted least-squares fit of a few non-negative coefficients: minimises
// sum_i ((A x - b)_i / sd_i)^2 with x >= 0.
struct NonNegativeFit {
  Eigen::VectorXd x;           // the coefficients, zero where the bound holds them
  Eigen::MatrixXd covariance;  // of the free coefficients (zero rows and columns for the held)
  double chiSquared = 0.0;
  bool ok = false;  // false when no set of columns could be solved
};

// Exact for the handful of columns the noise models have: every subset of free columns is
// solved unconstrained and the best feasible one kept (2^columns small solves), so there is no
// iteration that could stop early. Columns must be few (at most 12).
// Only the columns in the mask `allowed` may be free; the others are held at zero.
NonNegativeFit FitNonNegative(const Eigen::MatrixXd& A, const Eigen::VectorXd& b,
                              const Eigen::VectorXd& sd, unsigned allowed = ~0u);

// The covariance the fit gives to coefficients `free` (a mask of columns), all others held at
// their values: the inverse of the weighted normal matrix of those columns.
Eigen::MatrixXd CovarianceOf(const Eigen::MatrixXd& A, const Eigen::VectorXd& sd, unsigned free);

}  // namespace vexa::analysis
