#include "analysis/noise_characterisation.h"
#include "app/physical_constants.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vexa::analysis {

namespace {

// Locale-free, round-trip numbers; JSON has no infinities or NaN.
std::string number(double v) {
  if (!std::isfinite(v)) return "null";
  char buffer[40];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 10);
  return std::string(buffer, r.ptr);
}

std::string quoted(const std::string& text) {
  std::string q = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      q += '\\';
      q += char(c);
    } else if (c < 0x20) {
      char u[8];
      std::snprintf(u, sizeof u, "\\u%04x", c);
      q += u;
    } else {
      q += char(c);
    }
  }
  return q + "\"";
}

std::string figureJson(const NoiseFigure& f) {
  return "{\"value\": " + number(f.value) + ", \"sigma\": " + number(f.sigma) +
         ", \"unit\": " + quoted(f.unit) + ", \"resolved\": " + (f.resolved ? "true" : "false") +
         "}";
}

}  // namespace

ChannelNoise FitNoiseModel(const std::vector<double>& values, double tau0, SensorKind kind,
                           const std::string& units, const std::string& title) {
  ChannelNoise c;
  c.title = title;
  c.units = units;
  c.kind = kind;
  c.rateHz = tau0 > 0.0 ? 1.0 / tau0 : 0.0;
  c.samples = int64_t(values.size());
  c.curve = OverlappingAllanDeviation(values, tau0);
  c.model = FitNoiseModel(c.curve, c.samples);
  c.density = WelchDensity(values, tau0);
  c.figures = CustomaryFigures(c.model, kind, units);
  c.densityFigure = CustomaryDensity(c.density.white, kind, units);
  for (const RecordFinding& finding : CheckChannelStill(values, tau0, c.curve, units, title))
    c.notStill.push_back(finding.reason);
  return c;
}

std::string NoiseJson(const std::vector<ChannelNoise>& channels) {
  std::string j = "{\"channels\": [";
  for (size_t i = 0; i < channels.size(); ++i) {
    const ChannelNoise& c = channels[i];
    j += i ? ",\n  " : "\n  ";
    j += "{\"title\": " + quoted(c.title) + ", \"kind\": " + quoted(SensorKindName(c.kind)) +
         ", \"units\": " + quoted(c.units) + ", \"rate_hz\": " + number(c.rateHz) +
         ", \"samples\": " + std::to_string(c.samples) + ", \"terms\": {";
    for (int t = 0; t < kNoiseTerms; ++t)
      j += std::string(t ? ", " : "") + "\"" + kNoiseTermNames[size_t(t)] +
           "\": " + figureJson(c.figures[size_t(t)]);
    j += "}, \"density\": {\"white\": " +
         (c.density.whiteFound ? number(c.densityFigure.value) : std::string("null")) +
         ", \"unit\": " + quoted(c.densityFigure.unit) + ", \"convention\": \"two-sided\"}";
    if (!c.still()) {
      j += ", \"record\": " + quoted(kRecordNotStill) + ", \"not_still\": [";
      for (size_t r = 0; r < c.notStill.size(); ++r) j += (r ? ", " : "") + quoted(c.notStill[r]);
      j += "]";
    }
    j += "}";
  }
  return j + (channels.empty() ? "]}\n" : "\n]}\n");
}

bool ImuYaml(const std::vector<ChannelNoise>& channels, std::string& text, std::string& why,
             const ImuYamlOptions& options) {
  // Largest density and random walk over the axes of each kind, in SI.
  double gyroDensity = 0, gyroWalk = 0, accelDensity = 0, accelWalk = 0, rate = 0;
  bool gyro = false, accel = false;
  for (const ChannelNoise& c : channels) {
    if (!c.model.ok || c.kind == SensorKind::Other) continue;
    const bool isGyro = c.kind == SensorKind::Gyro;
    const double si = isGyro ? kPi / 180.0 : kStandardGravity;
    // The density from the Allan fit (the spectrum's white level agrees with it); a random walk
    // the record does not resolve is given by its bound, the conservative side for a filter.
    const double density = c.model.terms[kTermN].value * si;
    const double walk = c.model.terms[kTermK].value * si;
    (isGyro ? gyroDensity : accelDensity) = std::max(isGyro ? gyroDensity : accelDensity, density);
    (isGyro ? gyroWalk : accelWalk) = std::max(isGyro ? gyroWalk : accelWalk, walk);
    (isGyro ? gyro : accel) = true;
    rate = std::max(rate, c.rateHz);
  }
  if (!gyro || !accel) {
    why = "the imu.yaml form needs a gyro and an accelerometer channel with a fitted model";
    return false;
  }
  bool still = true;
  for (const ChannelNoise& c : channels) still &= c.still();
  text = "# Continuous-time noise of the gyros and accelerometers (largest axis of each)\n";
  if (!options.record.empty()) text += "# Record: " + options.record + "\n";
  if (!options.date.empty()) text += "# Date: " + options.date + "\n";
  text +=
      "# Densities are square roots of the two-sided power spectral density; random walks\n"
      "# are the rate (acceleration) random walk K in the same convention.\n";
  if (!still) text += std::string("# ") + kRecordNotStill + ": figures not from a sensor at rest\n";
  text += "rostopic: " + options.topic + "\n";
  text += "gyroscope_noise_density: " + number(gyroDensity) + "     # rad/s/sqrt(Hz)\n";
  text += "gyroscope_random_walk: " + number(gyroWalk) + "     # rad/s^2/sqrt(Hz)\n";
  text += "accelerometer_noise_density: " + number(accelDensity) + "     # m/s^2/sqrt(Hz)\n";
  text += "accelerometer_random_walk: " + number(accelWalk) + "     # m/s^3/sqrt(Hz)\n";
  text += "update_rate: " + number(rate) + "     # Hz\n";
  return true;
}

}  // namespace vexa::analysis
