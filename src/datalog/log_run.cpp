#include "datalog/log_run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/delay.h"
#include "datalog/log_file_sink.h"
#include "registers/data_ready_wait.h"
#include "registers/register_access.h"

namespace vexa::datalog {

namespace {

std::string transportLostText(const std::string& fileName, int64_t sample) {
  if (sample == 1)
    return "the connection to the sensor failed while the first sample of " + fileName +
           " was read; the run ended there, and no file was made of it (it would hold no samples)";
  return "the connection to the sensor failed while sample " + std::to_string(sample) + " of " +
         fileName + " was read; the run ended there, and the file holds the " +
         std::to_string(sample - 1) + " samples read before";
}

ChannelList normalised(ChannelList channels) {
  channels.erase(std::remove_if(channels.begin(), channels.end(),
                                [](int16_t i) { return ChannelOfRegister(i) == nullptr; }),
                 channels.end());
  std::sort(channels.begin(), channels.end());
  channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
  return channels;
}

std::string clockText(int64_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace

void ReadSampleByRegister(AppContext& ctx, const ChannelList& channels, SampleValues& values) {
  values.resize(channels.size());
  const AccessState& a = ctx.access;
  for (size_t i = 0; i < channels.size(); ++i) {
    ReadRegister(ctx, channels[i]);
    values[i] = {a.LastNewData, a.LastRaw, a.LastScaled};
  }
}

void WaitSampleDelay(AppContext& ctx, float delayMs) {
  DelayMs(ctx, delayMs);
}

std::string ProgressText(const LogProgress& p) {
  std::string text = "Sample " + std::to_string(p.sample) + " of " +
                     std::to_string(static_cast<int64_t>(p.samplesPerFile)) + "   File " +
                     std::to_string(p.file) + " of " +
                     std::to_string(static_cast<int64_t>(p.files));
  if (p.samplesPerSecond > 0) {
    char rate[32];
    std::snprintf(rate, sizeof rate, p.samplesPerSecond < 100 ? "%.1f" : "%.0f",
                  p.samplesPerSecond);
    text += std::string("   ") + rate + " samples/s";
  }
  if (p.secondsLeft >= 0) text += "   " + clockText(std::llround(p.secondsLeft)) + " left";
  return text;
}

std::string FileAccessErrorText(const std::string& fileName) {
  return "\r\nFILE ACCESS ERROR\r\n\r\nFile name = " + fileName +
         "\r\n\r\nThis file may already be open by another application.\r\n\r\nClose the file "
         "or choose a different file name.";
}

bool IsSystemFolder(const std::string& folder) {
  for (const char* root : {"/usr", "/bin", "/sbin", "/lib", "/lib64", "/opt", "/etc", "/snap"}) {
    const size_t n = std::strlen(root);
    if (folder.compare(0, n, root) == 0 && (folder.size() == n || folder[n] == '/')) return true;
  }
  return false;
}

std::string LogDirectory(AppContext& ctx) {
  const std::string own = ctx.platform.paths->applicationDirectory();
  // An installed program's folder is no place for data, even for root, who may write there.
  if (!own.empty() && !IsSystemFolder(own) && ::access(own.c_str(), W_OK | X_OK) == 0) return own;
  return ctx.platform.paths->currentDirectory();
}

LogRun::LogRun(AppContext& ctx, LogSettings settings, LogHost& host)
    : ctx_(ctx), settings_(std::move(settings)), host_(host) {}

bool LogRun::waitBetweenSamples(SampleSink& sink, float delayMs) {
  const float pieceMs = static_cast<float>(kIdleSeconds * 1000.0);
  float left = delayMs;
  while (left > pieceMs) {
    wait_(ctx_, pieceMs);
    left -= pieceMs;
    if (!sink.idle()) return false;
  }
  wait_(ctx_, left);  // the next sample's addSample does what idle() would
  return true;
}

LogResult LogRun::run() {
  const LogFormat format = LogFormat::forLocale(settings_.locale);
  const ChannelList channels = normalised(settings_.channels);
  const double S = settings_.samplesPerFile;
  const double F = settings_.filesPerSession;
  const float delayMs = settings_.sampleDelayMs;
  Clock& clock = ctx_.clock();
  Diagnostics* diagnostics = ctx_.platform.diagnostics;
  std::optional<LogFileSink> files;
  SampleSink* sink = sink_;
  if (sink == nullptr) {
    FileOps& ops = ctx_.platform.files != nullptr ? *ctx_.platform.files : SystemFileOps();
    sink = &files.emplace(ops, clock);
  }

  LogResult result;
  const auto sinkFailed = [&](LogOutcome outcome) {
    const SinkFailure& f = sink->failure();
    if (diagnostics != nullptr && !f.cause.empty()) diagnostics->cause(f.cause);
    if (!f.message.empty())
      ctx_.messages().show(kApplicationTitle, f.message, MessageIcon::Warning);
    switch (f.kind) {
      case SinkFailureKind::Refused:
        outcome = LogOutcome::Refused;
        break;
      case SinkFailureKind::Open:
        outcome = LogOutcome::OpenFailed;
        break;
      case SinkFailureKind::Write:
        outcome = LogOutcome::WriteFailed;
        break;
      case SinkFailureKind::TooSlow:
        outcome = LogOutcome::DiskTooSlow;
        break;
      case SinkFailureKind::None:
        break;
    }
    result.outcome = outcome;
  };

  LogRunPlan plan;
  plan.directory = settings_.directory;
  plan.fileName = settings_.fileName;
  plan.files = static_cast<int64_t>(std::floor(F));
  plan.channels = channels;
  plan.units = settings_.units;
  plan.format = format;
  plan.replaceExisting = settings_.replaceExisting;
  if (!sink->beginRun(plan)) {
    sinkFailed(LogOutcome::Refused);
    return result;
  }

  SampleValues values(channels.size());
  LogProgress progress;
  progress.samplesPerFile = std::floor(S);
  progress.files = std::floor(F);
  const double total = progress.samplesPerFile * progress.files;
  double runStart = -1;

  bool last = false;
  for (int64_t n = 1; n <= F && !last; ++n) {
    LogFileStart start;
    start.number = n;
    start.name = LogFileName(settings_.fileName, n, format);
    start.header.fileName = start.name;
    start.header.beginSeconds = clock.secondsSinceMidnight();
    start.header.endSeconds = start.header.beginSeconds;
    start.header.date = clock.shortDate();
    start.header.time = clock.shortTime();
    if (!sink->beginFile(start)) {
      sinkFailed(LogOutcome::OpenFailed);
      break;
    }
    host_.fileStarted(n);
    ctx_.ui().processEvents();
    // The begin time the partial's header already holds: the complete header takes its place.
    const float begin = start.header.beginSeconds;
    if (runStart < 0) runStart = clock.monotonicSeconds();

    bool sinkStopped = false;
    for (int64_t s = 1; s <= S; ++s) {
      bool lost = false;
      if (gate_ && !gate_(ctx_, channels)) {
        result.outcome = LogOutcome::NoSample;
        last = true;
        lost = TransportLost(ctx_);
        if (!lost) break;
      }
      if (!lost) reader_(ctx_, channels, values);
      if (lost || TransportLost(ctx_)) {
        // The failed read left the last word in every later channel: not a sample.
        result.outcome = LogOutcome::TransportLost;
        result.endedEarly = transportLostText(start.name, s);
        if (diagnostics != nullptr) diagnostics->cause(result.endedEarly);
        last = true;
        break;
      }
      ++result.samplesTaken;
      if (!sink->addSample(s, values)) {
        sinkStopped = true;
        last = true;
        break;
      }
      if (!waitBetweenSamples(*sink, delayMs)) {
        sinkStopped = true;
        last = true;
        break;
      }

      progress.sample = s;
      progress.file = n;
      const double elapsed = clock.monotonicSeconds() - runStart;
      if (elapsed > 0) {
        progress.samplesPerSecond = static_cast<double>(result.samplesTaken) / elapsed;
        progress.secondsLeft = std::max(0.0, total - static_cast<double>(result.samplesTaken)) /
                               progress.samplesPerSecond;
      }
      progress.fraction = total > 0 ? static_cast<double>(result.samplesTaken) / total : 1;
      host_.progress(progress);  // before the events pass, which repaints it

      ctx_.ui().processEvents();
      if (host_.cancelRequested()) {
        result.outcome = LogOutcome::Cancelled;
        last = true;
        break;
      }
    }

    LogHeader header;
    header.fileName = start.name;
    header.beginSeconds = begin;
    header.endSeconds = clock.secondsSinceMidnight();
    header.date = clock.shortDate();
    header.time = clock.shortTime();
    std::string path;
    if (!sink->endFile(header, path)) {
      sinkFailed(LogOutcome::WriteFailed);
      break;
    }
    if (!path.empty()) {
      result.filesWritten.push_back(path);
      host_.fileWritten(path);
    }
    if (sinkStopped) {
      sinkFailed(LogOutcome::DiskTooSlow);
      break;
    }
  }
  return result;
}

}  // namespace vexa::datalog
