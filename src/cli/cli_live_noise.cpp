#include "cli/cli_live_noise.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "app/atomic_file.h"
#include "cli/cli.h"
#include "platform/file_ops.h"

namespace vexa::cli {

namespace {

std::string figureText(const analysis::NoiseFigure& f) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%.3g %s", f.resolved ? "" : "<", f.value, f.unit.c_str());
  return text;
}

std::string percentText(double percent) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g %%", percent);
  return text;
}

}  // namespace

int ParseLiveNoiseOption(const std::vector<std::string>& operands, size_t& i,
                         const RegisterTable& table, LiveNoiseCommand& command,
                         std::string& error) {
  const std::string& a = operands[i];
  if (a != "--live-noise" && a != "--until-resolved") return 0;
  if (i + 1 >= operands.size()) {
    error = a + " needs a value";
    return -1;
  }
  const std::string& value = operands[++i];
  if (a == "--until-resolved") {
    analysis::ResolveTarget target;
    if (!analysis::ParseResolveTarget(value, target, error)) return -1;
    command.targets.push_back(target);
    return 1;
  }
  int16_t row = FindRegisterByName(table, value);
  if (datalog::ChannelOfRegister(row) == nullptr) {
    row = -1;
    for (const datalog::LogChannel& c : datalog::kLogChannels)
      if (value == c.caption) row = c.registerIndex;
  }
  if (row < 0) {
    error = "unknown --live-noise channel '" + value + "': give XGYRO_OUT .. or a caption";
    return -1;
  }
  command.channels.push_back(row);
  return 1;
}

std::string LiveNoiseUsageText() {
  return R"(    --live-noise CHANNEL
                        Analyse the channel's noise while it is logged (repeatable; a register
                        name or a caption such as "X Gyro"): the progress line shows its N and B
                        so far. At the end NAME-noise.json (the form of noise --json) is written
                        beside the files, and with --unit the figures are kept in the results
                        store. Cluster times up to 2^19 samples are exact; longer ones are
                        estimates from every 2nd, 4th, ... sample of the running integral.
    --until-resolved "CAPTION/TERM:PERCENT"
                        End the run, files complete, once the figure (Q, N, B, K or R) of the
                        channel is resolved to that relative one-sigma uncertainty, for example
                        "X Gyro/B:10" (repeatable: all must hold); the run's sample limit still
                        ends it. The progress line shows the time left for each.
)";
}

std::string LiveNoiseJsonPath(const datalog::LogSettings& settings) {
  return settings.directory + "/" + settings.fileName + "-noise.json";
}

std::string DurationText(double seconds) {
  const long long s = std::llround(std::max(0.0, seconds));
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

LiveNoiseRun::LiveNoiseRun(AppContext& ctx, const LiveNoiseCommand& command)
    : ctx_(ctx), command_(command) {}

bool LiveNoiseRun::startProblem(const datalog::LogSettings& settings, int& status,
                                std::string& error) const {
  if (!active()) return false;
  analysis::LiveNoiseSettings live;
  live.channels = command_.channels;
  live.targets = command_.targets;
  datalog::ChannelList channels;
  if (!analysis::LiveChannelsOf(live, settings.channels, channels, error)) {
    status = 2;
    return true;
  }
  const std::string path = LiveNoiseJsonPath(settings);
  if (!settings.replaceExisting && ::access(path.c_str(), F_OK) == 0) {
    error = path + " already exists: give --overwrite to replace it, or another --name";
    status = 1;
    return true;
  }
  return false;
}

void LiveNoiseRun::attach(datalog::LogRun& run) {
  if (!active()) return;
  FileOps& ops = ctx_.platform.files != nullptr ? *ctx_.platform.files : SystemFileOps();
  files_.emplace(ops, ctx_.clock());
  analysis::LiveNoiseSettings live;
  live.channels = command_.channels;
  live.targets = command_.targets;
  sink_ = std::make_unique<analysis::LiveNoiseSink>(*files_, ctx_.clock(), live);
  run.setSink(*sink_);
}

std::string LiveNoiseRun::progressText() const {
  if (!sink_) return {};
  const analysis::LiveNoiseStatus s = sink_->status();
  std::string text;
  for (const auto& c : s.channels) {
    if (!c.noise.model.ok) continue;
    text += " · " + c.noise.title + " N " + figureText(c.noise.figures[analysis::kTermN]) + " B " +
            figureText(c.noise.figures[analysis::kTermB]);
  }
  for (const auto& t : s.targets) {
    text += " · " + analysis::ResolveTargetText(t.target) + " now ";
    text += t.percent ? percentText(*t.percent) : std::string("unresolved");
    if (t.met)
      text += ", reached";
    else if (t.secondsLeft)
      text += ", " + DurationText(*t.secondsLeft) + " left";
  }
  return text;
}

bool LiveNoiseRun::finish(const datalog::LogResult& result, const datalog::LogSettings& settings,
                          bool cancelled, std::ostream& out, std::ostream& err,
                          std::vector<analysis::ChannelNoise>& channels) {
  if (!sink_) return true;
  const analysis::LiveNoiseStatus s = sink_->finish();
  for (const std::string& why : s.behind) err << "vexa-cli: " << why << '\n';
  for (const auto& c : s.channels) {
    channels.push_back(c.noise);
    if (c.warmUp.found)
      err << "vexa-cli: " << c.noise.title << ": " << analysis::WarmUpText(c.warmUp)
          << " (leave that part out of the analysis)\n";
    if (c.firstEstimated < c.noise.curve.size())
      err << "vexa-cli: " << c.noise.title << ": cluster times from "
          << c.noise.curve[c.firstEstimated].tau << " s on are estimates\n";
  }
  if (!s.targets.empty()) {
    std::string figures;
    for (const auto& t : s.targets)
      figures += (figures.empty() ? "" : ", ") + analysis::ResolveTargetText(t.target) + " at " +
                 (t.percent ? percentText(*t.percent) : std::string("unresolved"));
    if (s.allMet && cancelled)
      err << "vexa-cli: the run ended when every figure was resolved: " << figures << '\n';
    else if (s.allMet && result.outcome == datalog::LogOutcome::Completed)
      err << "vexa-cli: the run ended at its sample limit, its last samples resolving every "
             "figure: "
          << figures << '\n';
    else if (result.outcome == datalog::LogOutcome::Completed)
      err << "vexa-cli: the run ended at its sample limit before every figure was resolved: "
          << figures << '\n';
    else
      err << "vexa-cli: the run ended before every figure was resolved: " << figures << '\n';
  }
  if (result.filesWritten.empty()) return true;
  const std::string path = LiveNoiseJsonPath(settings);
  std::string error;
  if (!WriteFileAtomically(path, analysis::NoiseJson(channels), settings.replaceExisting, error)) {
    err << "vexa-cli: the live noise figures could not be written: " << error << '\n';
    return false;
  }
  out << path << '\n';
  return true;
}

}  // namespace vexa::cli
