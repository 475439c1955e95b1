#pragma once

// The noise of chosen channels analysed while a log run records them. A sink in front of the
// run's own sink (the file writer): every sample goes on to it unchanged, and the chosen
// channels' fresh values go into a bounded queue per channel, which a worker thread empties
// into the live analysis (analysis/live_noise.h). The sampling thread never waits for the
// analysis: should a queue ever be full (an analysis slower than the sensor), that channel's
// live figures end there, said so, while the log goes on; no sample is left out of a curve.
//
// The values analysed are those the files carry (scaled values as their seven significant
// digits), the repeats of a log that reads faster than the sensor samples left out, so the live
// figures are the offline analysis's of the same files.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/live_noise.h"
#include "datalog/sample_sink.h"
#include "platform/clock.h"

namespace vexa::analysis {

struct LiveNoiseSettings {
  datalog::ChannelList channels;          // register indices analysed live
  std::vector<ResolveTarget> targets;     // the run may end when all are met
  size_t queueSamples = size_t(1) << 20;  // per channel
  LiveAllanLimits limits;
};

// The channels the settings need: the live ones and those the targets name by caption. False
// with `error` when a target names no output or one the run does not log.
bool LiveChannelsOf(const LiveNoiseSettings& settings, const datalog::ChannelList& logged,
                    datalog::ChannelList& live, std::string& error);

struct TargetState {
  ResolveTarget target;
  std::optional<double> percent;      // the figure's present relative uncertainty
  std::optional<double> secondsLeft;  // of record, until it reaches the target
  bool met = false;
};

struct LiveNoiseStatus {
  std::vector<LiveFigures> channels;
  std::vector<TargetState> targets;
  std::vector<std::string> behind;  // channels whose live analysis ended: why
  bool allMet = false;
};

class LiveNoiseSink : public datalog::SampleSink {
 public:
  LiveNoiseSink(datalog::SampleSink& inner, Clock& clock, LiveNoiseSettings settings);
  ~LiveNoiseSink() override;

  bool beginRun(const datalog::LogRunPlan& plan) override;
  bool beginFile(const datalog::LogFileStart& file) override { return inner_.beginFile(file); }
  bool addSample(int64_t sampleNumber, const datalog::SampleValues& values) override;
  bool endFile(const datalog::LogHeader& header, std::string& path) override {
    return inner_.endFile(header, path);
  }
  const datalog::SinkFailure& failure() const override { return inner_.failure(); }

  // Every target is met (false without targets). Read once per sample by the run's host.
  bool targetsMet() const { return met_.load(std::memory_order_relaxed); }
  // The figures of the last fit.
  LiveNoiseStatus status() const;
  // Analyses what is still queued, fits once more and stops the worker: the final figures.
  LiveNoiseStatus finish();

 private:
  struct Channel;
  void work();
  bool drain();
  void fit();
  double tau0(const Channel& c) const;

  datalog::SampleSink& inner_;
  Clock& clock_;
  LiveNoiseSettings settings_;
  bool scaled_ = true;
  std::vector<std::unique_ptr<Channel>> channels_;
  std::atomic<bool> met_{false};
  std::atomic<double> startSeconds_{-1.0};
  std::atomic<double> lastSeconds_{0.0};

  mutable std::mutex mutex_;  // guards status_, and the worker's sleep
  std::condition_variable wake_;
  std::atomic<bool> sleeping_{false};
  bool stopping_ = false;
  LiveNoiseStatus status_;
  std::thread worker_;
};

}  // namespace vexa::analysis
