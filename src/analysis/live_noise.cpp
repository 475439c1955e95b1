#include "analysis/live_noise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vexa::analysis {

namespace {

constexpr int kWarmUpBlocks = 128;  // stretches the record is cut into to see its mean
constexpr int kWarmUpMinimumBlocks = 16;
constexpr double kWarmUpZ = 6.0;       // wander beyond this many of its own scatter
constexpr double kSettledShare = 0.1;  // of the starting distance
// A figure's relative uncertainty falls as the root of the record's length: the independent
// clusters behind it grow in number as the length does.
constexpr double kShrink = -0.5;

}  // namespace

bool ParseResolveTarget(const std::string& text, ResolveTarget& target, std::string& error) {
  const size_t slash = text.rfind('/');
  const size_t colon = text.rfind(':');
  if (slash == std::string::npos || colon == std::string::npos || colon < slash || slash == 0) {
    error = "'" + text + "' is not CAPTION/TERM:PERCENT (for example \"X Gyro/B:10\")";
    return false;
  }
  target.caption = text.substr(0, slash);
  const std::string term = text.substr(slash + 1, colon - slash - 1);
  target.term = -1;
  for (int t = 0; t < kNoiseTerms; ++t)
    if (term == kNoiseTermNames[size_t(t)]) target.term = t;
  if (target.term < 0) {
    error = "unknown figure '" + term + "' in '" + text + "': give Q, N, B, K or R";
    return false;
  }
  const std::string percent = text.substr(colon + 1);
  char* end = nullptr;
  target.percent = std::strtod(percent.c_str(), &end);
  if (percent.empty() || end != percent.c_str() + percent.size() ||
      !(target.percent > 0.0 && target.percent < 100.0)) {
    error = "the uncertainty in '" + text + "' must be a percentage above 0 and below 100";
    return false;
  }
  return true;
}

std::string ResolveTargetText(const ResolveTarget& target) {
  char percent[32];
  std::snprintf(percent, sizeof percent, "%g", target.percent);
  return target.caption + "/" + kNoiseTermNames[size_t(target.term)] + ":" + percent;
}

std::optional<double> RelativeSigmaPercent(const NoiseTerm& term) {
  if (!term.resolved || !(term.value > 0.0)) return std::nullopt;
  return 100.0 * term.sigma / term.value;
}

WarmUp DetectWarmUp(const std::vector<double>& b, double blockSeconds) {
  WarmUp w;
  const size_t n = b.size();
  if (n < size_t(kWarmUpMinimumBlocks)) return w;
  // The step-to-step scatter of the later half, where a warm-up has ended.
  double squares = 0.0;
  for (size_t j = n / 2; j + 1 < n; ++j) squares += (b[j + 1] - b[j]) * (b[j + 1] - b[j]);
  const double step = std::sqrt(squares / double(n - 1 - n / 2));
  double largest = 0.0;
  for (size_t k = 1; k <= n / 2; ++k) {
    const double wander = std::abs(b[k] - b[0]);
    largest = std::max(largest, step > 0.0 ? wander / (step * std::sqrt(double(k)))
                                           : (wander > 0.0 ? HUGE_VAL : 0.0));
  }
  if (largest < kWarmUpZ) return w;
  double settled = 0.0;
  for (size_t j = n - n / 4; j < n; ++j) settled += b[j];
  settled /= double(n / 4);
  const double start = std::abs(b[0] - settled);
  size_t j = 1;
  while (j < n && std::abs(b[j] - settled) > kSettledShare * start) ++j;
  // A mean that keeps moving through the record (a ramp) has not warmed up: it never settles.
  if (j > n / 2) return w;
  w.found = true;
  w.settledAfterSeconds = double(j) * blockSeconds;
  w.drift = b[0] - settled;
  return w;
}

std::string WarmUpText(const WarmUp& w) {
  if (!w.found) return "no warm-up drift";
  char text[64];
  const double s = w.settledAfterSeconds;
  if (s < 120.0)
    std::snprintf(text, sizeof text, "the bias settled after %.0f s", s);
  else if (s < 7200.0)
    std::snprintf(text, sizeof text, "the bias settled after %.0f min", s / 60.0);
  else
    std::snprintf(text, sizeof text, "the bias settled after %.1f h", s / 3600.0);
  return text;
}

std::optional<double> SecondsLeft(const std::vector<UncertaintyAt>& history, double percent) {
  if (history.empty() || !(history.back().percent > 0.0) || !(history.back().seconds > 0.0))
    return std::nullopt;
  const UncertaintyAt now = history.back();
  if (now.percent <= percent) return 0.0;
  // The rate at which the uncertainty shrinks, read off the last fourfold of the record as the
  // slope of log(percent) over log(seconds): a term resting on the longest clusters (K, R)
  // shrinks slower than the root of the length, since its clusters grow with the record. The
  // median of the pairwise slopes and of the points' levels, so that one fit's jump (a term
  // entering or leaving the model) moves neither much; the slope kept between a quarter and one
  // power so that no run of odd fits promises days or seconds.
  std::vector<std::pair<double, double>> points;  // log(seconds / now), log(percent)
  for (const UncertaintyAt& h : history)
    if (h.seconds >= now.seconds / 4 && h.percent > 0.0)
      points.push_back({std::log(h.seconds / now.seconds), std::log(h.percent)});
  const auto median = [](std::vector<double> v) {
    const auto mid = v.begin() + v.size() / 2;
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
  };
  double shrink = kShrink;
  std::vector<double> slopes;
  for (size_t i = 0; i < points.size(); ++i)
    for (size_t j = i + 1; j < points.size(); ++j)
      if (points[j].first - points[i].first > 0.02)
        slopes.push_back((points[j].second - points[i].second) /
                         (points[j].first - points[i].first));
  if (points.size() >= 4 && slopes.size() >= 6) shrink = std::clamp(median(slopes), -1.0, -0.25);
  std::vector<double> levels;  // each point carried to the present length along that slope
  for (const auto& [x, y] : points) levels.push_back(y - shrink * x);
  const double level = std::exp(median(levels));
  return std::max(0.0, now.seconds * (std::pow(level / percent, -1.0 / shrink) - 1.0));
}

LiveNoiseChannel::LiveNoiseChannel(std::string title, std::string units, SensorKind kind,
                                   LiveAllanLimits limits)
    : title_(std::move(title)),
      units_(std::move(units)),
      kind_(kind),
      allan_(limits),
      history_(kNoiseTerms) {}

LiveFigures LiveNoiseChannel::figures(double tau0) {
  LiveFigures f;
  LiveAllanCurve curve = allan_.curve(tau0);
  ChannelNoise& c = f.noise;
  c.title = title_;
  c.units = units_;
  c.kind = kind_;
  c.rateHz = tau0 > 0.0 ? 1.0 / tau0 : 0.0;
  c.samples = curve.samples;
  c.curve = std::move(curve.points);
  c.model = FitNoiseModel(c.curve, c.samples);
  c.figures = CustomaryFigures(c.model, kind_, units_);
  c.densityFigure = CustomaryDensity(0.0, kind_, units_);
  f.firstEstimated = curve.firstEstimated;
  f.seconds = double(c.samples) * tau0;

  int64_t perBlock = 0;
  const auto means = allan_.blockMeans(std::max<int64_t>(1, c.samples / kWarmUpBlocks), perBlock);
  f.warmUp = DetectWarmUp(means, double(perBlock) * tau0);

  // A term not (or no longer) resolved enters as 0: no time left can be said for it.
  for (int t = 0; t < kNoiseTerms && f.seconds > 0.0; ++t) {
    const auto p = c.model.ok ? RelativeSigmaPercent(c.model.terms[size_t(t)]) : std::nullopt;
    history_[size_t(t)].push_back({f.seconds, p.value_or(0.0)});
  }
  return f;
}

std::optional<double> LiveNoiseChannel::secondsLeft(int term, double percent) const {
  if (term < 0 || term >= kNoiseTerms) return std::nullopt;
  return SecondsLeft(history_[size_t(term)], percent);
}

}  // namespace vexa::analysis
