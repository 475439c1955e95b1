#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/noise_characterisation.h"
#include "app/app_context.h"
#include "cli/cli_live_noise.h"
#include "datalog/log_request.h"
#include "datalog/log_run.h"
#include "datalog/log_start_check.h"
#include "datalog/sampling.h"

namespace vexa::cli {

// `log [--samples S] [--files F] [--delay MS] [--name NAME] [--units scaled|lsb] [--dir DIR]
// [--pipelined] [--sync] [--overwrite] CHANNEL...`: the datalog window's run from the command line,
// writing the same files.
struct LogCommand {
  double samples = 1000;
  double files = 1;
  float delayMs = 0;
  std::string name = datalog::kDefaultLogName;
  datalog::LogUnits units = datalog::LogUnits::Scaled;
  std::optional<std::string> directory;  // none: the window's folder (datalog::ChosenLogDirectory)
  datalog::ChannelList channels;         // register indices, table order, no repeats
  datalog::SamplingChoice sampling;      // --pipelined, --sync
  bool overwrite = false;                // files of the same names may be replaced
  LiveNoiseCommand live;                 // --live-noise, --until-resolved
};

// Reads the operands after the word `log`. False with a one-line error naming the problem;
// nothing out of range is clamped.
bool ParseLogCommand(const std::vector<std::string>& operands, const RegisterTable& table,
                     LogCommand& command, std::string& error);

// Exit statuses of `log` besides 0 (all files written) and 1 (the run was refused or ended
// early: names taken or locked, a file that could not be written, a lost transport, a disk too
// slow): 128 + the signal when SIGINT, SIGTERM or SIGHUP cancelled the run.
constexpr int kExitCancelledBase = 128;

// What the command asks of the run, and the run's settings built from it (datalog::
// BuildLogSettings: its folder, or the one chosen in the datalog window, and the regional form).
datalog::LogRequest LogRequestOf(const LogCommand& command);
datalog::LogSettings LogSettingsOf(AppContext& ctx, const LogCommand& command);
// What stops a run before it starts: a setting out of its limits or a file name the files
// cannot carry (status 2), or files of the name already in the folder without --overwrite
// (status 1). False when nothing does. `names` are how the caller's user named the settings.
bool LogStartProblem(const datalog::LogSettings& settings, int& status, std::string& error,
                     const datalog::LogSettingNames& names = {"--samples", "--files", "--delay"});

// Runs the log on a transport that is up. Prints each finished file's path on `out`; with
// `progress` (standard error is a terminal), a progress line on `err`. SIGINT, SIGTERM and
// SIGHUP cancel as the window's Cancel button does while the run lasts; SIGPIPE (whoever read
// standard output went away) does not end it.
// `finished`, when given, receives the run's result (for the results store); `live`, the
// final live noise figures.
int RunLogCommand(AppContext& ctx, const LogCommand& command, std::ostream& out, std::ostream& err,
                  bool progress, datalog::LogResult* finished = nullptr,
                  std::vector<analysis::ChannelNoise>* live = nullptr);

// Whether `err` is the process's standard error and that is a terminal.
bool IsTerminal(const std::ostream& err);

// The lines of the usage text that describe `log`.
std::string LogUsageText();

}  // namespace vexa::cli
