#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/allan_deviation.h"
#include "analysis/noise_density.h"
#include "analysis/noise_model.h"
#include "analysis/record_check.h"

namespace vexa::analysis {

// Everything a still record says about one channel's noise.
struct ChannelNoise {
  std::string title;
  std::string units;
  SensorKind kind = SensorKind::Other;
  double rateHz = 0.0;
  int64_t samples = 0;
  std::vector<AllanPoint> curve;
  NoiseModel model;
  NoiseDensity density;
  std::array<NoiseFigure, kNoiseTerms> figures{};  // the model in customary units
  NoiseFigure densityFigure;                       // the density's white level, likewise
  // Why the record is not one of a sensor at rest (the record check's reasons); empty when it
  // is. Figures from a record that is not still carry the mark kRecordNotStill wherever shown.
  std::vector<std::string> notStill;
  bool still() const { return notStill.empty(); }
};

// The Allan deviation, its five-term fit and the noise density of rate samples taken every
// `tau0` seconds, and the record check of those samples (`notStill`). Empty curve and model not
// ok when the record is too short. `title` is the name the channel goes by in every output: its
// caption ("X Gyro") where the log reader knows it.
ChannelNoise FitNoiseModel(const std::vector<double>& values, double tau0, SensorKind kind,
                           const std::string& units = {}, const std::string& title = {});

// The stable JSON form scripts read:
// {"channels": [{"title", "kind", "units", "rate_hz", "samples",
//   "terms": {"Q": T, "N": T, "B": T, "K": T, "R": T},
//   "density": {"white", "unit", "convention": "two-sided"}}]}
// with T = {"value", "sigma", "unit", "resolved"}; a term not resolved carries its bound. A
// channel whose record is not still adds "record": "record not still" and "not_still": [reasons].
std::string NoiseJson(const std::vector<ChannelNoise>& channels);

// The four figures a visual-inertial filter's configuration asks for, in SI units, and the
// rate: noise densities (rad/s/sqrt(Hz), m/s^2/sqrt(Hz)) and random walks (rad/s^2/sqrt(Hz),
// m/s^3/sqrt(Hz)). Of several axes the largest is taken (a filter that trusts the sensor more
// than its worst axis deserves diverges). False, with `why`, without a gyro and an accelerometer.
// `about` names the record and its date in the comment lines; `topic` is the IMU's rostopic.
struct ImuYamlOptions {
  std::string record;  // file names
  std::string date;
  std::string topic = "/imu0";
};
bool ImuYaml(const std::vector<ChannelNoise>& channels, std::string& text, std::string& why,
             const ImuYamlOptions& options = {});

}  // namespace vexa::analysis
