#include "analysis/mag_calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vexa::analysis {

namespace {

std::string percentText(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f %%", v);
  return buffer;
}

}  // namespace

std::vector<Vec3> ElementFieldOf(const std::vector<Vec3>& readings, const MagCorrections& current) {
  std::vector<Vec3> out;
  out.reserve(readings.size());
  for (const Vec3& r : readings) {
    Vec3 u{};
    for (int a = 0; a < 3; ++a) {
      if (current.softIron[a] <= 0) continue;
      u[a] = r[a] * kSoftIronUnity / current.softIron[a] -
             current.hardIron[a] * kMagMilliGaussPerCount;
    }
    out.push_back(u);
  }
  return out;
}

MagCorrections DeriveCorrections(const AxisEllipsoid& fit, std::array<bool, 6>* limited) {
  MagCorrections c;
  std::array<bool, 6> flags{};
  if (fit.ok) {
    const double mean = (fit.radii[0] + fit.radii[1] + fit.radii[2]) / 3.0;
    for (int a = 0; a < 3; ++a) {
      // Half to even, as every conversion of a physical value to a register code rounds.
      const double hard = std::nearbyint(-fit.centre[a] / kMagMilliGaussPerCount);
      const double soft = std::nearbyint(kSoftIronUnity * mean / fit.radii[a]);
      c.hardIron[a] =
          static_cast<int>(std::clamp(hard, double{kHardIronMin}, double{kHardIronMax}));
      c.softIron[a] =
          static_cast<int>(std::clamp(soft, double{kSoftIronMin}, double{kSoftIronMax}));
      flags[a] = c.hardIron[a] != hard;
      flags[3 + a] = c.softIron[a] != soft;
    }
  }
  if (limited) *limited = flags;
  return c;
}

MagCalResult AnalyseMagReadings(const std::vector<Vec3>& readings, const MagCorrections& current,
                                const SphereBins& bins) {
  MagCalResult r;
  const std::vector<Vec3> element = ElementFieldOf(readings, current);
  r.quality.samples = static_cast<int>(element.size());
  r.fit = FitAxisAlignedEllipsoid(element);
  r.full = FitFullEllipsoid(element);

  // Directions from the fitted centre, on one common scale: a poorly determined radius must not
  // stretch a band of directions over the whole sphere.
  Vec3 centre, radii;
  BoxEstimate(element, centre, radii);
  if (r.fit.ok) {
    centre = r.fit.centre;
    radii = r.fit.radii;
  }
  const double mean = (radii[0] + radii[1] + radii[2]) / 3.0;
  r.coverage = CoverageOf(bins, element, centre, {mean, mean, mean});
  r.quality.coveragePercent = r.coverage.percent;

  if (r.fit.ok) {
    r.derived = DeriveCorrections(r.fit, &r.limited);
    double sumSquares = 0.0, low = 1e300, high = -1e300;
    for (const Vec3& u : element) {
      double m2 = 0.0;
      for (int a = 0; a < 3; ++a) {
        const double c = (u[a] - r.fit.centre[a]) * mean / r.fit.radii[a];
        m2 += c * c;
      }
      const double m = std::sqrt(m2);
      sumSquares += (m - mean) * (m - mean);
      low = std::min(low, m);
      high = std::max(high, m);
    }
    r.quality.fieldMilliGauss = mean;
    r.quality.residualPercent = 100.0 * std::sqrt(sumSquares / element.size()) / mean;
    r.quality.wobbleMilliGauss = high - low;
  } else {
    r.derived = current;
  }

  if (r.quality.samples < kMinSamples)
    r.problems.push_back("Too few samples: " + std::to_string(r.quality.samples) + " of at least " +
                         std::to_string(kMinSamples) + ".");
  if (r.quality.coveragePercent < kMinCoveragePercent)
    r.problems.push_back("Poor coverage: " + percentText(r.quality.coveragePercent) +
                         " of directions, at least " + percentText(kMinCoveragePercent) +
                         " needed; turn the module through more orientations.");
  if (!r.fit.ok && r.quality.samples >= 6)
    r.problems.push_back("The samples do not determine an ellipsoid.");
  if (r.fit.ok && r.quality.residualPercent > kMaxResidualPercent)
    r.problems.push_back("Poor fit: residual " + percentText(r.quality.residualPercent) +
                         " of the field, at most " + percentText(kMaxResidualPercent) + ".");
  for (int i = 0; i < 6; ++i) {
    if (r.limited[i]) {
      r.warnings.push_back(
          "A correction is beyond what its register holds; the value is limited, so the "
          "correction will be partial.");
      break;
    }
  }
  r.trusted = r.problems.empty() && r.fit.ok;
  return r;
}

MagnitudeSpread SpreadOf(const std::vector<Vec3>& readings) {
  MagnitudeSpread s;
  s.samples = static_cast<int>(readings.size());
  if (readings.empty()) return s;
  std::vector<double> m;
  m.reserve(readings.size());
  for (const Vec3& r : readings) m.push_back(std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]));
  double sum = 0.0;
  for (double v : m) sum += v;
  s.meanMilliGauss = sum / m.size();
  double squares = 0.0;
  for (double v : m) squares += (v - s.meanMilliGauss) * (v - s.meanMilliGauss);
  s.rmsPercent =
      s.meanMilliGauss > 0.0 ? 100.0 * std::sqrt(squares / m.size()) / s.meanMilliGauss : 0.0;
  return s;
}

Verdict Judge(const MagnitudeSpread& before, const MagnitudeSpread& after) {
  if (after.samples == 0) return Verdict::NotImproved;
  if (after.rmsPercent < 0.8 * before.rmsPercent) return Verdict::Improved;
  if (after.rmsPercent <= kMaxResidualPercent) return Verdict::AlreadyGood;
  return Verdict::NotImproved;
}

std::string VerdictText(Verdict verdict, const MagnitudeSpread& before,
                        const MagnitudeSpread& after) {
  const std::string figures = "magnitude spread " + percentText(before.rmsPercent) + " before, " +
                              percentText(after.rmsPercent) + " after.";
  switch (verdict) {
    case Verdict::Improved:
      return "The correction improved the field: " + figures;
    case Verdict::AlreadyGood:
      return "The field was already good and stays good: " + figures;
    case Verdict::NotImproved:
      break;
  }
  return "The correction did not improve the field: " + figures +
         " Turn the module through more orientations and run again, or Revert.";
}

}  // namespace vexa::analysis
