#pragma once

// Rate records of known noise, made without the analysis's own formulas, and the study of how
// often a fit's stated uncertainty covers the truth. Shared by the tests (a few records) and the
// coverage benchmark (the full study).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa::noise_records {

// The truth of a record, in its units and seconds: Q units*s, N units*sqrt(s), B units,
// K units/sqrt(s), R units/s (zero: absent).
struct NoiseTruth {
  double Q = 0.0, N = 0.0, B = 0.0, K = 0.0, R = 0.0;
  double term(int j) const { return std::array<double, 5>{Q, N, B, K, R}[size_t(j)]; }
};

// White rate noise of density N, a random walk summed from white steps, a ramp, flicker shaped
// by 1/f in the frequency domain (one-sided density B^2 / (pi f)), and the integrated angle
// rounded to steps of Q sqrt(12) with the rate read back from the rounded angle's differences.
std::vector<double> NoiseRecord(const NoiseTruth& truth, double tau0, size_t samples,
                                uint64_t seed);

// One case of the coverage study: which noise, how long, how fast.
struct CoverageCase {
  std::string name;
  NoiseTruth truth;
  double hours = 1.0;
  double rateHz = 100.0;
};

// Per term over the records of a case: the mean relative error where the truth is not zero, how
// often a resolved term's truth lay within one and two of its sigmas, and how often a term whose
// truth is zero was resolved.
struct TermCoverage {
  int resolved = 0;
  int within1 = 0, within2 = 0;
  double meanError = 0.0;  // (estimate - truth) / truth over resolved records
  int falseResolved = 0;   // truth zero yet resolved
  int records = 0;
};
struct CaseCoverage {
  std::array<TermCoverage, 5> terms{};
  int failedFits = 0;
};
CaseCoverage StudyCoverage(const CoverageCase& c, int records, uint64_t firstSeed);

}  // namespace vexa::noise_records
