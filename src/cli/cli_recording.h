#pragma once

// The command line's hooks into the results store: one object per recorded command, built
// before the command runs (its start time), asked to keep the record once it has ended.

#include <iosfwd>
#include <optional>
#include <string>

#include "analysis/mag_calibration.h"
#include "app/app_context.h"
#include "cli/cli.h"
#include "cli/cli_analysis.h"
#include "cli/cli_log.h"
#include "cli/cli_magcal.h"
#include "results/recording.h"

namespace vexa::cli {

using MagCorrectionsBefore = std::optional<analysis::MagCorrections>;

class CliRecording {
 public:
  CliRecording(AppContext& ctx, const CliOptions& options);

  void keepRun(const LogCommand& command, const datalog::LogResult& result, bool deviceAnswers,
               std::ostream& err) const;

  // The magnetometer registers before a calibration that may write them (none otherwise).
  MagCorrectionsBefore correctionsBefore(bool writes) const;
  void keepMagCal(const MagCalOptions& options, const MagCorrectionsBefore& before,
                  bool deviceAnswers, std::ostream& err) const;
  // A noise analysis of files, kept only under a unit named with --unit: a file does not tell
  // which module it came from, and figures under a made-up name would mix modules.
  void keepNoise(const NoiseAnalysis& analysed, std::ostream& err) const;

 private:
  // The unit: the name given, with the product number when the module still answers (no
  // transfer failed during the command).
  results::UnitRecord unit(bool deviceAnswers) const;
  void keep(const results::AnyRecord& record, std::ostream& err) const;
  void show(const std::string& state, std::ostream& err) const;

  AppContext& ctx_;
  std::string address_;
  // One store for the command: one attempt at a server, each cause said once.
  mutable results::Recorder recorder_;
  std::string unitName_;
  std::string started_;
};

}  // namespace vexa::cli
