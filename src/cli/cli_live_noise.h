#pragma once

// `vexa-cli log --live-noise CHANNEL --until-resolved "X Gyro/B:10"`: the noise of chosen
// channels analysed while they are logged, shown on the progress line, a run that ends once
// every named figure is known to its uncertainty, and at the end NAME-noise.json beside the
// files (the form of `vexa-cli noise --json`).

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/live_noise.h"
#include "analysis/live_noise_sink.h"
#include "app/app_context.h"
#include "datalog/log_file_sink.h"
#include "datalog/log_run.h"
#include "registers/register_table.h"

namespace vexa::cli {

struct LiveNoiseCommand {
  datalog::ChannelList channels;                 // --live-noise, register indices
  std::vector<analysis::ResolveTarget> targets;  // --until-resolved, all must hold
  bool active() const { return !channels.empty() || !targets.empty(); }
};

// Takes operand i when it is one of the options above (and its value): 1 taken, 0 not one of
// them, -1 with `error` set.
int ParseLiveNoiseOption(const std::vector<std::string>& operands, size_t& i,
                         const RegisterTable& table, LiveNoiseCommand& command, std::string& error);

std::string LiveNoiseUsageText();

// "DIR/NAME-noise.json"
std::string LiveNoiseJsonPath(const datalog::LogSettings& settings);

// The live part of one log run.
class LiveNoiseRun {
 public:
  LiveNoiseRun(AppContext& ctx, const LiveNoiseCommand& command);
  bool active() const { return command_.active(); }

  // What stops the run before it starts: a target on a channel not logged (status 2), the
  // result's file already there without --overwrite (status 1).
  bool startProblem(const datalog::LogSettings& settings, int& status, std::string& error) const;
  // Puts the live analysis between the run and its file writer.
  void attach(datalog::LogRun& run);
  // Every figure asked for is resolved to its uncertainty.
  bool targetsMet() const { return sink_ && sink_->targetsMet(); }
  // " · X Gyro N 0.41 deg/sqrt(h) B 50 deg/h · X Gyro/B 14 %, 0:12:00 left"
  std::string progressText() const;

  // After the run: the closing lines on `err`, NAME-noise.json written (its path on `out`);
  // the final figures in `channels`. False when the result could not be written.
  bool finish(const datalog::LogResult& result, const datalog::LogSettings& settings,
              bool cancelled, std::ostream& out, std::ostream& err,
              std::vector<analysis::ChannelNoise>& channels);

 private:
  AppContext& ctx_;
  LiveNoiseCommand command_;
  std::optional<datalog::LogFileSink> files_;
  std::unique_ptr<analysis::LiveNoiseSink> sink_;
};

// "0:12:05"
std::string DurationText(double seconds);

}  // namespace vexa::cli
