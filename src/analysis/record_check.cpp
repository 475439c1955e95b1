#include "analysis/record_check.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "analysis/noise_model.h"

namespace vexa::analysis {

namespace {

// The log keeps seven significant digits: values closer than that are the same value.
constexpr double kResolution = 1e-6;
// A session's next file begins where the last ended; the clock's single-precision seconds and
// the sample in between allow this much.
constexpr double kGapSeconds = 2.0;
constexpr double kGapIntervals = 10.0;
constexpr double kSecondsPerDay = 86400.0;
// A gyro at rest reads its bias (a few tenths of a degree per second at worst) and the earth's
// rotation (0.004 deg/s); a mean beyond this is a turning table.
constexpr double kGyroMeanLimit = 5.0;  // deg/s
// The level is looked at in blocks: at most this many, of at least this many samples.
constexpr size_t kBlocks = 1024;
constexpr size_t kBlockSamples = 16;
// Blocks on each side of a step, and of a spike: a step's medians must stand past a turn that
// spans several blocks.
constexpr size_t kStepWindow = 16;
constexpr size_t kSpikeWindow = 8;
// In robust spreads of the same measure over the record: noise at rest reaches three or four
// of them at its largest, a turn, a knock or a step many more.
constexpr double kSpikeSpreads = 15.0;
constexpr double kStepSpreads = 10.0;
// The Allan deviation rises no faster than the root of the cluster time with the model's
// noises at rest (past their floor); five times beyond that is a motion.
constexpr int64_t kRiseFromSamples = 16;
constexpr double kRise = 5.0;
constexpr double kHumpRise = 1.5;
constexpr double kHumpFall = 2.0;
// Points resting on fewer clusters scatter too widely to show a fall.
constexpr double kSteadyEdf = 10.0;

std::string number(double v) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 4);
  return std::string(buffer, r.ptr);
}

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const auto mid = v.begin() + std::ptrdiff_t(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

double medianOf(const std::vector<double>& v, size_t from, size_t to, size_t skip = SIZE_MAX) {
  std::vector<double> part;
  for (size_t i = from; i < to; ++i)
    if (i != skip) part.push_back(v[i]);
  return median(std::move(part));
}

double robustScale(const std::vector<double>& v) {
  const double centre = median(v);
  std::vector<double> spread(v.size());
  for (size_t k = 0; k < v.size(); ++k) spread[k] = std::abs(v[k] - centre);
  return 1.4826 * median(std::move(spread));
}

// A step or a spike in the level, seen in block means: the jump between the medians of the
// blocks either side of each point (a step moves it, a short spike does not), and each block's
// distance from the median of its neighbours (a spike moves it). Both are held against their
// own robust spread over the record, which noise at rest sets and a single event does not.
void checkLevel(const std::vector<double>& values, double tau0, const std::string& caption,
                std::vector<RecordFinding>& findings) {
  const size_t blockLength = std::max(kBlockSamples, values.size() / kBlocks);
  const size_t blocks = values.size() / blockLength;
  if (blocks < 4 * kStepWindow) return;
  std::vector<double> mean(blocks, 0.0);
  double all = 0.0, squares = 0.0;
  for (size_t k = 0; k < blocks; ++k) {
    for (size_t i = 0; i < blockLength; ++i) {
      const double v = values[k * blockLength + i];
      mean[k] += v;
      all += v;
      squares += v * v;
    }
    mean[k] /= double(blockLength);
  }
  const double count = double(blocks * blockLength);
  const double sd = std::sqrt(std::max(0.0, squares / count - (all / count) * (all / count)));
  // Coarse values can leave most blocks alike; white noise's spread of a block mean stands in.
  const double floor = 0.5 * sd / std::sqrt(double(blockLength));
  if (!(floor > 0.0)) return;
  const auto at = [&](size_t block) { return number(double(block * blockLength) * tau0); };

  std::vector<double> jump, away;
  for (size_t k = kStepWindow; k + kStepWindow <= blocks; ++k)
    jump.push_back(medianOf(mean, k, k + kStepWindow) - medianOf(mean, k - kStepWindow, k));
  for (size_t k = kSpikeWindow; k + kSpikeWindow < blocks; ++k)
    away.push_back(mean[k] - medianOf(mean, k - kSpikeWindow, k + kSpikeWindow + 1, k));
  const double usualJump = median(jump), jumpScale = std::max(robustScale(jump), floor);
  size_t stepAt = 0;
  for (size_t k = 0; k < jump.size(); ++k)
    if (std::abs(jump[k] - usualJump) > std::abs(jump[stepAt] - usualJump)) stepAt = k;
  const double step = jump[stepAt] - usualJump;
  if (std::abs(step) > kStepSpreads * jumpScale) {
    findings.push_back({RecordFault::Step, caption,
                        "the mean steps by " + number(step) + " at " + at(stepAt + kStepWindow) +
                            " s and stays there"});
    return;
  }
  const double awayScale = std::max(robustScale(away), floor);
  for (size_t k = 0; k < away.size(); ++k)
    if (std::abs(away[k]) > kSpikeSpreads * awayScale) {
      findings.push_back({RecordFault::Motion, caption,
                          "motion: the level leaves its course by " + number(std::abs(away[k])) +
                              " at " + at(k + kSpikeWindow) + " s and comes back"});
      return;
    }
}

// The Allan deviation of noise at rest rises no faster than the root of the cluster time (a rate
// random walk) and falls no faster than its inverse root once it has risen (a correlated bias).
// A back-and-forth motion rises and falls again as the cluster time itself: a hump steeper on
// both sides is rocking; a rise far steeper than a random walk's is a motion or a drift.
void checkCurve(const std::vector<AllanPoint>& curve, const std::string& caption,
                std::vector<RecordFinding>& findings) {
  const auto steady = [](const AllanPoint& p) { return p.adev > 0.0 && p.edf >= kSteadyEdf; };
  // How much steeper than a random walk the curve rises from i to j (> 1: steeper).
  const auto rise = [&](size_t i, size_t j) {
    return curve[j].adev / (curve[i].adev * std::sqrt(curve[j].tau / curve[i].tau));
  };
  double worst = 0.0;
  size_t worstAt = 0, from = 0;
  for (size_t p = 0; p < curve.size(); ++p) {
    double up = 0.0, down = 0.0;
    size_t start = 0;
    for (size_t i = 0; i < p; ++i)
      if (curve[i].m >= kRiseFromSamples && steady(curve[i]) && rise(i, p) > up)
        up = rise(i, p), start = i;
    for (size_t j = p + 1; j < curve.size(); ++j)
      if (steady(curve[j])) down = std::max(down, 1.0 / rise(p, j));
    if (up > kHumpRise && down > kHumpFall) {
      findings.push_back({RecordFault::Rocking, caption,
                          "rocking: the Allan deviation rises to a hump at " +
                              number(curve[p].tau) + " s and falls again"});
      return;
    }
    if (up > worst) worst = up, worstAt = p, from = start;
  }
  if (worst > kRise)
    findings.push_back({RecordFault::Motion, caption,
                        "motion: the Allan deviation rises " + number(worst) +
                            " times faster than a random walk from " + number(curve[from].tau) +
                            " s to " + number(curve[worstAt].tau) + " s"});
}

}  // namespace

std::string ChannelName(const LogChannel& channel) {
  return channel.caption.empty() ? channel.title : channel.caption;
}

std::vector<RecordFinding> CheckRecordFiles(const LogRecord& record) {
  std::vector<RecordFinding> findings;
  const double allowed = kGapSeconds + kGapIntervals * record.sampleInterval;
  for (size_t i = 0; i + 1 < record.files.size(); ++i) {
    const LogFileInfo& a = record.files[i];
    const LogFileInfo& b = record.files[i + 1];
    if (!a.endKnown) continue;
    double gap = b.beginSeconds - a.endSeconds;
    if (gap < -kSecondsPerDay / 2) gap += kSecondsPerDay;  // through midnight
    if (gap > allowed)
      findings.push_back({RecordFault::Gap, "",
                          "a gap of " + number(gap) + " s between " + a.fileName + " and " +
                              b.fileName + " (analyse the files one by one)"});
  }
  return findings;
}

std::vector<RecordFinding> CheckChannelStill(const std::vector<double>& values, double tau0,
                                             const std::vector<AllanPoint>& curve,
                                             const std::string& units, const std::string& caption) {
  std::vector<RecordFinding> findings;
  if (values.empty()) return findings;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  if (*hi - *lo <= kResolution * std::max(std::abs(*lo), std::abs(*hi))) {
    findings.push_back({RecordFault::Constant, caption,
                        "values do not change (" + number(*lo) +
                            (units.empty() ? "" : " " + units) + " throughout)"});
    return findings;
  }
  if (SensorKindOf(units) == SensorKind::Gyro) {
    double mean = 0.0;
    for (double v : values) mean += v / double(values.size());
    if (std::abs(mean) > kGyroMeanLimit)
      findings.push_back(
          {RecordFault::FarFromBias, caption,
           "the mean " + number(mean) + " deg/s is far from any gyro bias (turning)"});
  }
  checkLevel(values, tau0, caption, findings);
  checkCurve(curve, caption, findings);
  return findings;
}

}  // namespace vexa::analysis
