#pragma once

#include <Eigen/Dense>
#include <array>
#include <cstdint>
#include <vector>

#include "analysis/noise_model.h"

namespace vexa::analysis {

// The covariance of the overlapping Allan variance estimates at `m` samples per cluster (rate
// samples every `tau0` seconds, `samples` of them) when the record's noise is the five-term
// model with the coefficients squared `variance` (Q, N, B, K, R as in NoiseModel::variance).
//
// Overlapping estimates at neighbouring cluster times share most of their data, so their errors
// move together; a fit that weighs them as independent trusts the long cluster times several
// times more than they deserve. Each estimate is a mean of squared second differences of the
// integrated rate; for Gaussian noise the covariance of two squares is 2 c^2 + 4 mu1 mu2 c, with
// c the covariance of the differences (from the integrated rate's generalised covariance: white
// -N^2|h|/2, flicker B^2 h^2 ln|h| / 2pi, rate random walk K^2|h|^3/12, quantisation Q^2 at
// h = 0) and mu the ramp's share of each difference (R tau^2).
Eigen::MatrixXd AllanVarianceCovariance(const std::vector<int64_t>& m, double tau0, int64_t samples,
                                        const std::array<double, kNoiseTerms>& variance);

}  // namespace vexa::analysis
