#pragma once

#include <vector>

namespace vexa::analysis {

// The amplitude noise density of a channel, in the datasheet convention: the square root of
// the two-sided power spectral density, so that white rate noise of random walk N (units x
// sqrt(s)) has the density N (units/sqrt(Hz)) at every frequency.
struct NoiseDensity {
  std::vector<double> frequency;  // Hz, averaged over bands of 1/20 decade (for plots)
  std::vector<double> density;    // units/sqrt(Hz)
  bool whiteFound = false;
  double white = 0.0;  // the white level, units/sqrt(Hz)
  double whiteSigma = 0.0;
  double flatFrom = 0.0;  // the band where white noise is the larger part of the density, Hz
  double flatTo = 0.0;
  int segmentLength = 0;  // samples per Welch segment
  int segments = 0;
};

// Welch's method: Hann windows of a power-of-two length of about an eighth of the record (so
// that at least fifteen half-overlapping segments average down the scatter), each segment's
// mean removed. The white level is the constant of a non-negative fit of white, flicker (1/f),
// random-walk (1/f^2) and quantisation (the differenced white phase's sin^2) densities to the
// bands, so that neither the low-frequency rise nor the quantisation's high-frequency rise
// pulls it. Empty for fewer than 64 samples or no interval.
NoiseDensity WelchDensity(const std::vector<double>& y, double tau0);

}  // namespace vexa::analysis
