#include "analysis/live_noise_sink.h"

#include <algorithm>
#include <charconv>

#include "analysis/log_file.h"

namespace vexa::analysis {

namespace {

constexpr size_t kTake = 4096;  // values moved from a queue into the analysis at a time
constexpr uint64_t kWakeBatch = 1024;

// The value as the log file carries it, read back: the general form's seven significant
// digits, so that the live curve is that of the files.
double asWritten(float value) {
  if (value == 0) return 0.0;
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                               std::chars_format::general, 7);
  double back = 0.0;
  std::from_chars(text, r.ptr, back);
  return back;
}

LogChannel describe(int16_t registerIndex) {
  LogChannel c;
  if (const datalog::LogChannel* known = datalog::ChannelOfRegister(registerIndex))
    c.title = known->valueTitle;
  DescribeChannel(c);
  return c;
}

}  // namespace

// One live channel: its single-producer, single-consumer queue and its analysis.
struct LiveNoiseSink::Channel {
  Channel(int16_t index, size_t position, size_t capacity, const LogChannel& c, bool scaled,
          LiveAllanLimits limits)
      : registerIndex(index),
        position(position),
        queue(capacity),
        live(c.caption, scaled ? c.units : "LSB",
             scaled ? SensorKindOf(c.units) : SensorKind::Other, limits) {}
  int16_t registerIndex;
  size_t position;  // in the run's sample
  std::vector<float> queue;
  std::atomic<uint64_t> head{0};  // written by the sampling thread
  std::atomic<uint64_t> tail{0};  // written by the worker
  std::atomic<int64_t> fresh{0};  // values handed over
  std::atomic<bool> behind{false};
  int64_t behindAt = 0;
  LiveNoiseChannel live;
  std::vector<double> batch;
  int64_t fittedAt = 0;
};

bool LiveChannelsOf(const LiveNoiseSettings& settings, const datalog::ChannelList& logged,
                    datalog::ChannelList& live, std::string& error) {
  live = settings.channels;
  for (const auto& t : settings.targets) {
    int16_t found = 0;
    for (const datalog::LogChannel& c : datalog::kLogChannels)
      if (t.caption == c.caption) found = c.registerIndex;
    if (found == 0) {
      error = "--until-resolved names '" + t.caption + "', which is no output's caption";
      return false;
    }
    live.push_back(found);
  }
  std::sort(live.begin(), live.end());
  live.erase(std::unique(live.begin(), live.end()), live.end());
  for (int16_t index : live)
    if (std::find(logged.begin(), logged.end(), index) == logged.end()) {
      error = std::string("the live channel ") + datalog::ChannelOfRegister(index)->caption +
              " is not among the channels logged";
      return false;
    }
  return true;
}

LiveNoiseSink::LiveNoiseSink(datalog::SampleSink& inner, Clock& clock, LiveNoiseSettings settings)
    : inner_(inner), clock_(clock), settings_(std::move(settings)) {}

LiveNoiseSink::~LiveNoiseSink() {
  finish();
}

bool LiveNoiseSink::beginRun(const datalog::LogRunPlan& plan) {
  if (!inner_.beginRun(plan)) return false;
  scaled_ = plan.units == datalog::LogUnits::Scaled;
  datalog::ChannelList live;
  std::string ignored;
  LiveChannelsOf(settings_, plan.channels, live, ignored);
  for (int16_t index : live) {
    const auto at = std::find(plan.channels.begin(), plan.channels.end(), index);
    if (at == plan.channels.end()) continue;
    channels_.push_back(std::make_unique<Channel>(index, size_t(at - plan.channels.begin()),
                                                  std::max<size_t>(kTake, settings_.queueSamples),
                                                  describe(index), scaled_, settings_.limits));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& t : settings_.targets) status_.targets.push_back({t, {}, {}, false});
  }
  if (!channels_.empty()) worker_ = std::thread([this] { work(); });
  return true;
}

bool LiveNoiseSink::addSample(int64_t sampleNumber, const datalog::SampleValues& values) {
  const bool kept = inner_.addSample(sampleNumber, values);
  const double now = clock_.monotonicSeconds();
  if (startSeconds_.load(std::memory_order_relaxed) < 0) startSeconds_.store(now);
  lastSeconds_.store(now, std::memory_order_relaxed);
  bool pushed = false;
  for (const auto& c : channels_) {
    const datalog::ChannelReading& r = values[c->position];
    if (r.newData == 0 || c->behind.load(std::memory_order_relaxed)) continue;
    const uint64_t head = c->head.load(std::memory_order_relaxed);
    if (head - c->tail.load(std::memory_order_acquire) == c->queue.size()) {
      c->behind.store(true);  // a curve with a hole would be no curve of the record
      continue;
    }
    c->queue[head % c->queue.size()] = scaled_ ? r.scaled : static_cast<float>(r.raw);
    c->fresh.fetch_add(1, std::memory_order_relaxed);
    c->head.store(head + 1);  // ordered with the worker's sleeping flag: no wake-up lost
    // Woken for a batch, not a sample: a wake-up per sample would cost the sampling thread a
    // system call and the processor a switch each time.
    pushed = pushed || head + 1 - c->tail.load() >= kWakeBatch;
  }
  if (pushed && sleeping_.load()) {
    std::lock_guard<std::mutex> lock(mutex_);
    wake_.notify_one();
  }
  return kept;
}

double LiveNoiseSink::tau0(const Channel& c) const {
  const int64_t fresh = c.fresh.load();
  const double span = lastSeconds_.load() - startSeconds_.load();
  return fresh > 1 && span > 0 ? span / double(fresh - 1) : 0.0;
}

bool LiveNoiseSink::drain() {
  bool any = false;
  for (const auto& c : channels_) {
    const uint64_t head = c->head.load(std::memory_order_acquire);
    uint64_t tail = c->tail.load(std::memory_order_relaxed);
    while (tail != head) {
      const size_t n = size_t(std::min<uint64_t>(head - tail, kTake));
      c->batch.resize(n);
      for (size_t k = 0; k < n; ++k) {
        const float v = c->queue[(tail + k) % c->queue.size()];
        c->batch[k] = scaled_ ? asWritten(v) : double(v);
      }
      tail += n;
      c->tail.store(tail, std::memory_order_release);
      c->live.add(c->batch.data(), n);
      any = true;
    }
  }
  return any;
}

void LiveNoiseSink::fit() {
  LiveNoiseStatus s;
  for (const auto& c : channels_) {
    const double t0 = tau0(*c);
    s.channels.push_back(c->live.figures(t0));
    c->fittedAt = c->live.samples();
    if (c->behind.load())
      s.behind.push_back(c->live.title() + ": the live analysis fell behind the sampling after " +
                         std::to_string(c->live.samples()) + " samples; the files hold them all");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    s.targets = status_.targets;
  }
  bool all = !s.targets.empty();
  for (TargetState& t : s.targets) {
    t.percent.reset();
    t.secondsLeft.reset();
    t.met = false;
    for (size_t i = 0; i < channels_.size(); ++i) {
      if (channels_[i]->live.title() != t.target.caption || channels_[i]->behind.load()) continue;
      const auto& model = s.channels[i].noise.model;
      if (model.ok) t.percent = RelativeSigmaPercent(model.terms[size_t(t.target.term)]);
      t.met = t.percent && *t.percent <= t.target.percent;
      t.secondsLeft = channels_[i]->live.secondsLeft(t.target.term, t.target.percent);
    }
    all = all && t.met;
  }
  s.allMet = all;
  met_.store(all);
  std::lock_guard<std::mutex> lock(mutex_);
  status_ = std::move(s);
}

void LiveNoiseSink::work() {
  for (;;) {
    const bool any = drain();
    bool due = false;
    for (const auto& c : channels_) {
      // Fits spaced by a sixty-fourth of the record: a stop decision is never late by more,
      // and a day-long record is fitted a few hundred times, not millions.
      const int64_t n = c->live.samples();
      due = due || n - c->fittedAt >= std::max<int64_t>(2048, c->fittedAt / 64);
    }
    if (due) fit();
    if (any) continue;
    std::unique_lock<std::mutex> lock(mutex_);
    sleeping_.store(true);
    bool waiting = !stopping_;
    for (const auto& c : channels_)
      waiting = waiting && c->head.load() == c->tail.load(std::memory_order_relaxed);
    if (waiting) wake_.wait(lock);
    sleeping_.store(false);
    if (stopping_) {
      lock.unlock();
      drain();
      return;
    }
  }
}

LiveNoiseStatus LiveNoiseSink::status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

LiveNoiseStatus LiveNoiseSink::finish() {
  if (worker_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      wake_.notify_one();
    }
    worker_.join();
    fit();
  }
  return status();
}

}  // namespace vexa::analysis
