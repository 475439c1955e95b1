#pragma once

// The noise figures of a channel while its record grows: the live Allan curve (live_allan.h),
// the five-term fit on it, a warm-up drift at the record's start, and for a figure asked to a
// given uncertainty, whether it is there and how long the record still has to grow.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/live_allan.h"
#include "analysis/noise_characterisation.h"

namespace vexa::analysis {

// "X Gyro/B:10": the figure B of the channel captioned "X Gyro" to 10 % (one sigma).
struct ResolveTarget {
  std::string caption;
  int term = kTermN;
  double percent = 0.0;
};
// False with `error` naming what is wrong with the text.
bool ParseResolveTarget(const std::string& text, ResolveTarget& target, std::string& error);
// "X Gyro/B:10"
std::string ResolveTargetText(const ResolveTarget& target);

// The figure's uncertainty as a share of it, in percent; nullopt while it is not resolved.
std::optional<double> RelativeSigmaPercent(const NoiseTerm& term);

// A drift of the mean at the record's start (a module warming), from the means of equal
// stretches of the record: found when the mean at the start has wandered from a later stretch
// further than the stretches' own wander (their step-to-step scatter, growing as the root of
// the distance, as a random walk's does) could take it. Settled where the mean has come within
// a tenth of its starting distance from the last quarter's mean.
struct WarmUp {
  bool found = false;
  double settledAfterSeconds = 0.0;
  double drift = 0.0;  // start minus settled mean, in the channel's units
};
WarmUp DetectWarmUp(const std::vector<double>& blockMeans, double blockSeconds);
// "the bias settled after 12 min"
std::string WarmUpText(const WarmUp& warmUp);

// How long a record still has to grow for a figure's relative uncertainty to reach `percent`,
// from its values at earlier lengths (seconds, percent), taking it to fall as the root of the
// length from its level over the last fourfold of the record. 0 once reached; nullopt while
// the figure is not resolved.
struct UncertaintyAt {
  double seconds = 0.0;
  double percent = 0.0;
};
std::optional<double> SecondsLeft(const std::vector<UncertaintyAt>& history, double percent);

// One live channel's figures at a moment.
struct LiveFigures {
  ChannelNoise noise;         // curve, model and figures so far (no density: that needs it all)
  size_t firstEstimated = 0;  // curve points from here on come from the thinned integral
  double seconds = 0.0;       // the record's length
  WarmUp warmUp;
};

// The live analysis of one channel: samples in, figures out. Not thread-safe: one thread feeds
// it and asks for figures (live_noise_sink.h runs it beside a log).
class LiveNoiseChannel {
 public:
  LiveNoiseChannel(std::string title, std::string units, SensorKind kind,
                   LiveAllanLimits limits = {});
  void add(const double* y, size_t count) { allan_.add(y, count); }
  int64_t samples() const { return allan_.samples(); }
  // Fits the record so far; every call adds to the history the time left is estimated from.
  LiveFigures figures(double tau0);
  std::optional<double> secondsLeft(int term, double percent) const;
  const std::string& title() const { return title_; }
  size_t bytes() const { return allan_.bytes(); }

 private:
  std::string title_;
  std::string units_;
  SensorKind kind_;
  LiveAllan allan_;
  std::vector<std::vector<UncertaintyAt>> history_;  // per term
};

}  // namespace vexa::analysis
