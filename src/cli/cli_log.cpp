#include "cli/cli_log.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iostream>
#include <ostream>

#include "app/typed_number.h"
#include "cli/cli.h"
#include "datalog/log_file_sink.h"
#include "datalog/log_folder.h"
#include "datalog/log_request.h"
#include "datalog/log_start_check.h"

namespace vexa::cli {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A number taking the whole text, read as the windows' fields read it.
bool wholeNumber(const std::string& text, double& value) {
  const TypedNumber n = ReadTypedNumber(text);
  value = n.leading;
  return n.whole;
}

// Blocks SIGINT, SIGTERM and SIGHUP (a closed terminal, a dropped remote session) while the run
// lasts and asks once per sample whether one came: a pending signal is taken as the Cancel
// click. SIGPIPE is blocked too, so that a reader of the file list that went away leaves the
// run to its end, and dropped afterwards. No handler, so nothing global is touched.
class SignalCancel {
 public:
  SignalCancel() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGHUP);
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t blocked = set_;
    sigaddset(&blocked, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
  }
  ~SignalCancel() {
    poll();  // one that came while the last file was written ends nothing more; take it here
    const timespec zero{0, 0};
    while (sigtimedwait(&pipe_, nullptr, &zero) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SignalCancel(const SignalCancel&) = delete;
  SignalCancel& operator=(const SignalCancel&) = delete;

  bool poll() {
    const timespec zero{0, 0};
    const int got = sigtimedwait(&set_, nullptr, &zero);
    if (got > 0 && signal_ == 0) signal_ = got;
    return signal_ != 0;
  }
  int signal() const { return signal_; }

 private:
  sigset_t set_{};
  sigset_t pipe_{};
  sigset_t previous_{};
  int signal_ = 0;
};

class ConsoleHost : public datalog::LogHost {
 public:
  ConsoleHost(AppContext& ctx, SignalCancel& cancel, std::ostream& out, std::ostream& err,
              bool progress, const LiveNoiseRun& live)
      : ctx_(ctx), cancel_(cancel), out_(out), err_(err), progress_(progress), live_(live) {}
  ~ConsoleHost() override { clearProgress(); }

  bool cancelRequested() override { return cancel_.poll() || live_.targetsMet(); }

  void progress(const datalog::LogProgress& p) override {
    if (!progress_) return;
    const double now = ctx_.clock().monotonicSeconds();
    if (shownAt_ >= 0 && now - shownAt_ < 0.2) return;
    shownAt_ = now;
    const std::string text = datalog::ProgressText(p) + live_.progressText();
    err_ << '\r' << text;
    if (text.size() < width_) err_ << std::string(width_ - text.size(), ' ');
    width_ = text.size();
    err_.flush();
  }

  void fileWritten(const std::string& path) override {
    clearProgress();
    errno = 0;
    out_ << path << '\n';
    out_.flush();
    if (!out_ && outError_ == 0) outError_ = errno != 0 ? errno : EIO;
  }
  // Why standard output failed (errno), 0 while it has not.
  int outError() const { return outError_; }

 private:
  void clearProgress() {
    if (width_ == 0) return;
    err_ << '\r' << std::string(width_, ' ') << '\r';
    err_.flush();
    width_ = 0;
    shownAt_ = -1;
  }

  AppContext& ctx_;
  SignalCancel& cancel_;
  std::ostream& out_;
  std::ostream& err_;
  bool progress_;
  const LiveNoiseRun& live_;
  double shownAt_ = -1;
  size_t width_ = 0;
  int outError_ = 0;
};

}  // namespace

bool ParseLogCommand(const std::vector<std::string>& operands, const RegisterTable& table,
                     LogCommand& c, std::string& error) {
  bool channelGiven[datalog::kChannelCount + 1] = {};
  for (size_t i = 0; i < operands.size(); ++i) {
    const std::string& a = operands[i];
    std::string value;
    const auto valueOf = [&] {
      if (i + 1 >= operands.size()) {
        error = a + " needs a value";
        return false;
      }
      value = operands[++i];
      return true;
    };
    double number = 0;
    if (a == "--samples" || a == "--files" || a == "--delay") {
      if (!valueOf()) return false;
      // Text that is no number is out of every limit; the limits and their words are the log
      // run's own.
      if (!wholeNumber(value, number)) number = std::nan("");
      error = a == "--samples" ? datalog::SamplesPerFileProblem(number, a, value)
              : a == "--files" ? datalog::FilesProblem(number, a, value)
                               : datalog::SampleDelayProblem(number, a, value);
      if (!error.empty()) return false;
      if (a == "--samples")
        c.samples = number;
      else if (a == "--files")
        c.files = number;
      else
        c.delayMs = static_cast<float>(number);
    } else if (a == "--name") {
      if (!valueOf()) return false;
      c.name = value;
    } else if (a == "--units") {
      if (!valueOf()) return false;
      if (lower(value) == "scaled")
        c.units = datalog::LogUnits::Scaled;
      else if (lower(value) == "lsb")
        c.units = datalog::LogUnits::Lsb;
      else {
        error = "unknown units '" + value + "': use scaled or lsb";
        return false;
      }
    } else if (a == "--dir") {
      if (!valueOf()) return false;
      if (value.empty()) {
        error = "--dir needs a folder";
        return false;
      }
      c.directory = value;
    } else if (a == "--pipelined") {
      c.sampling.pipelined = true;
    } else if (a == "--sync") {
      c.sampling.dataReady = true;
    } else if (a == "--overwrite") {
      c.overwrite = true;
    } else if (const int live = ParseLiveNoiseOption(operands, i, table, c.live, error)) {
      if (live < 0) return false;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown log option '" + a + "' (see --help)";
      return false;
    } else if (lower(a) == "all") {
      for (int k = 1; k <= datalog::kChannelCount; ++k) channelGiven[k] = true;
    } else {
      const int16_t row = FindRegisterByName(table, a);
      if (row < 0 || datalog::ChannelOfRegister(row) == nullptr) {
        error = "unknown channel '" + a + "': give SUPPLY_OUT .. AUX_ADC or all";
        return false;
      }
      channelGiven[row] = true;
    }
  }
  c.channels.clear();
  for (int16_t k = 1; k <= datalog::kChannelCount; ++k)
    if (channelGiven[k]) c.channels.push_back(k);
  error = datalog::ChannelsProblem(c.channels);
  return error.empty();
}

bool IsTerminal(const std::ostream& err) {
  return &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
}

datalog::LogRequest LogRequestOf(const LogCommand& command) {
  datalog::LogRequest r;
  r.samplesPerFile = command.samples;
  r.files = command.files;
  r.sampleDelayMs = command.delayMs;
  r.name = command.name;
  r.units = command.units;
  r.channels = command.channels;
  r.directory = command.directory;
  r.replaceExisting = command.overwrite;
  return r;
}

datalog::LogSettings LogSettingsOf(AppContext& ctx, const LogCommand& command) {
  return datalog::BuildLogSettings(ctx, LogRequestOf(command));
}

bool LogStartProblem(const datalog::LogSettings& s, int& status, std::string& error,
                     const datalog::LogSettingNames& names) {
  const datalog::LogStartCheck check = datalog::CheckLogStart(s, names);
  if (!check.limitProblem.empty() || !check.nameProblem.empty()) {
    error = check.limitProblem.empty() ? check.nameProblem : check.limitProblem;
    status = 2;
    return true;
  }
  if (!check.taken.empty()) {
    const auto& taken = check.taken;
    error = s.directory + "/" + taken.front() + " already exists" +
            (taken.size() > 1 ? " (and " + std::to_string(taken.size() - 1) + " more)" : "") +
            ": give --overwrite to replace the files of this name, or another --name";
    status = 1;
    return true;
  }
  return false;
}

int RunLogCommand(AppContext& ctx, const LogCommand& command, std::ostream& out, std::ostream& err,
                  bool progress, datalog::LogResult* finished,
                  std::vector<analysis::ChannelNoise>* live) {
  datalog::LogSettings settings = LogSettingsOf(ctx, command);
  const datalog::LogSettings kept = settings;
  int status = 0;
  std::string problem;
  LiveNoiseRun liveNoise(ctx, command.live);
  if (LogStartProblem(settings, status, problem) ||
      liveNoise.startProblem(settings, status, problem)) {
    err << "vexa-cli: " << problem << '\n';
    return status;
  }
  datalog::LogResult result;
  int signal = 0;
  int outError = 0;
  {
    SignalCancel cancel;
    ConsoleHost host(ctx, cancel, out, err, progress, liveNoise);
    datalog::LogRun run(ctx, std::move(settings), host);
    datalog::ChooseSampling(run, command.sampling);
    liveNoise.attach(run);
    result = run.run();
    signal = cancel.signal();
    outError = host.outError();
  }
  if (!result.endedEarly.empty()) err << "vexa-cli: " << result.endedEarly << '\n';
  if (finished) *finished = result;
  std::vector<analysis::ChannelNoise> figures;
  const bool resolved = result.outcome == datalog::LogOutcome::Cancelled && signal == 0;
  if (!liveNoise.finish(result, kept, resolved, out, err, figures)) return 1;
  if (live) *live = std::move(figures);
  // The list of files written is the command's answer: one that did not reach standard output
  // (a full device, a closed pipe) is a failure, whatever became of the files.
  if (outError != 0 || !out) {
    err << "vexa-cli: the names of the files written could not be written to standard output: "
        << std::strerror(outError != 0 ? outError : EIO) << '\n';
    return result.outcome == datalog::LogOutcome::Cancelled && !resolved
               ? kExitCancelledBase + signal
               : 1;
  }
  switch (result.outcome) {
    case datalog::LogOutcome::Completed:
      return 0;
    case datalog::LogOutcome::Cancelled:
      return resolved ? 0 : kExitCancelledBase + signal;
    default:
      return 1;
  }
}

std::string LogUsageText() {
  return R"(  log [LOG OPTIONS] CHANNEL...
                        Log the named output registers (SUPPLY_OUT, XGYRO_OUT, ..., AUX_ADC,
                        or all) to files, as the datalog window does: S samples per file, F
                        files, each with a seven-line header; columns follow the register table
                        whatever the order given. Prints each finished file's path; on a
                        terminal, progress on standard error. Ctrl-C, SIGTERM or SIGHUP ends
                        the run after the current sample, and the current file is still
                        written. Samples go to disk as they are taken, into NAME_N.csv.partial;
                        the file gets its own name, whole, after its last sample. A run that was
                        killed leaves the .partial file with its samples, header included, but
                        for the last second or so. Exit status 1 when the run was refused or
                        ended early (a file that could not be written, a lost transport).
    --samples S         Samples per file, 1 to 2147483647 (default 1000).
    --files F           Files, 1 to 2000000000 (default 1).
    --delay MS          Wait after each sample in milliseconds, 0 to 32000 (default 0).
    --name NAME         File name before "_N" and the extension (default DATALOG).
    --units scaled|lsb  Scaled values (default) or raw register values.
    --dir DIR           Folder of the files (default: the program's folder when it may write
                        there, else the working folder).
    --overwrite         Replace files of the same names (NAME_1.csv ... NAME_F.csv and their
                        .partial files); without it such files end the command with status 1
                        before the first sample. Another run writing the same names refuses.
    --pipelined         Read the channels pipelined: N channels in N + 1 frames (up to 16
                        frames per USB card transfer), with the same values.
    --sync              Take each sample when the first channel's new-data bit shows a new one,
                        instead of after --delay. If the sensor gives none within two sample
                        periods and 50 ms, the run ends with a message and exit status 1.
                        Files end in .csv with commas, or .txt with tabs where the regional
                        decimal separator is a comma (LC_ALL, LC_NUMERIC, LANG).
)" + LiveNoiseUsageText();
}

}  // namespace vexa::cli
