#pragma once

#include <array>
#include <string>
#include <vector>

#include "analysis/ellipsoid_fit.h"
#include "analysis/sphere_coverage.h"

namespace vexa::analysis {

// The sensor's magnetometer model, as the simulated sensor follows it:
//
//   reading = (field + hard iron) x soft iron / 2048
//
// per axis, in counts of 0.5 mG: `field` is what the element feels (the earth field bent by
// iron near it, plus the board's own magnetisation), hard iron is XMAGN_HIF .. ZMAGN_HIF
// (14-bit two's complement, 0.5 mG a count) and soft iron is XMAGN_SIF .. ZMAGN_SIF (12 bits
// unsigned, 2048 = unity). The registers hold a centre and one scale per axis; a cross-axis
// part of the distortion is beyond them.
constexpr double kMagMilliGaussPerCount = 0.5;
constexpr int kSoftIronUnity = 2048;
constexpr int kHardIronMin = -8192;  // what a 14-bit two's complement register holds
constexpr int kHardIronMax = 8191;
constexpr int kSoftIronMin = 1;  // 0 would wipe the axis out
constexpr int kSoftIronMax = 4095;

// Register codes of the six corrections.
struct MagCorrections {
  std::array<int, 3> hardIron{0, 0, 0};
  std::array<int, 3> softIron{kSoftIronUnity, kSoftIronUnity, kSoftIronUnity};
  bool operator==(const MagCorrections& o) const {
    return hardIron == o.hardIron && softIron == o.softIron;
  }
  bool operator!=(const MagCorrections& o) const { return !(*this == o); }
};

// What a fit must show before its corrections are worth writing.
constexpr int kMinSamples = 60;
constexpr double kMinCoveragePercent = 60.0;
constexpr double kMaxResidualPercent = 2.0;

struct MagQuality {
  int samples = 0;
  double coveragePercent = 0.0;
  double residualPercent = 0.0;   // RMS of (corrected magnitude - field), % of the field
  double fieldMilliGauss = 0.0;   // mean fitted radius: the field strength after correction
  double wobbleMilliGauss = 0.0;  // max - min of the corrected magnitudes
};

struct MagCalResult {
  // Fits in the element's frame: the current corrections taken out of the readings first.
  AxisEllipsoid fit;
  FullEllipsoid full;
  Coverage coverage;
  MagQuality quality;
  // Corrections that make the readings a sphere about zero, and per register whether the value
  // had to be limited to what the register holds.
  MagCorrections derived;
  std::array<bool, 6> limited{};
  // Trustworthy: enough samples, enough coverage, a determined fit with a small residual.
  bool trusted = false;
  std::vector<std::string> problems;  // why not, one plain sentence each
  // Worth knowing but no reason to distrust the fit (a value limited to its register).
  std::vector<std::string> warnings;
};

// Readings (mG) taken with `current` in the sensor, back to what the elements felt (mG).
// Axes whose soft iron is 0 read nothing and come back as 0.
std::vector<Vec3> ElementFieldOf(const std::vector<Vec3>& readings, const MagCorrections& current);

// Corrections for an axis-aligned fit in the element's frame: hard iron = minus the centre,
// soft iron so that every radius becomes the mean radius; each limited to its register.
MagCorrections DeriveCorrections(const AxisEllipsoid& fit, std::array<bool, 6>* limited = nullptr);

// Fit, coverage, quality and corrections for readings taken with `current` in the sensor.
MagCalResult AnalyseMagReadings(const std::vector<Vec3>& readings, const MagCorrections& current,
                                const SphereBins& bins);

// Spread of the magnitudes of readings as the sensor gives them: mean, and RMS deviation from
// it as a percentage of the mean. What a good correction brings near zero.
struct MagnitudeSpread {
  int samples = 0;
  double meanMilliGauss = 0.0;
  double rmsPercent = 0.0;
};
MagnitudeSpread SpreadOf(const std::vector<Vec3>& readings);

// The verdict of a verification pass.
enum class Verdict { Improved, AlreadyGood, NotImproved };
Verdict Judge(const MagnitudeSpread& before, const MagnitudeSpread& after);
std::string VerdictText(Verdict verdict, const MagnitudeSpread& before,
                        const MagnitudeSpread& after);

}  // namespace vexa::analysis
