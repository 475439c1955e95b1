#include "cli/cli_recording.h"

#include <ostream>

#include "analysis/mag_cal_session.h"
#include "results/recording.h"

namespace vexa::cli {

CliRecording::CliRecording(AppContext& ctx, const CliOptions& options)
    : ctx_(ctx),
      address_(results::DatabaseAddress(ctx, options.database)),
      recorder_(address_),
      unitName_(options.unit),
      started_(results::UtcNow()) {}

results::UnitRecord CliRecording::unit(bool deviceAnswers) const {
  return results::NamedUnit(unitName_, deviceAnswers ? results::ReadProductNumber(ctx_) : "");
}

void CliRecording::keep(const results::AnyRecord& record, std::ostream& err) const {
  show(recorder_.keep(record), err);
}

void CliRecording::show(const std::string& state, std::ostream& err) const {
  // Quiet while all is well; a bench should see that its records wait, and why, once.
  if (state != "results store: online") err << "vexa-cli: " << state << '\n';
  const std::string cause = recorder_.untoldCause();
  if (!cause.empty()) err << "vexa-cli: results store: " << cause << '\n';
}

void CliRecording::keepRun(const LogCommand& command, const datalog::LogResult& result,
                           bool deviceAnswers, std::ostream& err) const {
  const datalog::LogSettings settings = LogSettingsOf(ctx_, command);
  keep(results::LogRunRecordFor(ctx_, unitName_, started_, settings, command.sampling, result,
                                unit(deviceAnswers).product),
       err);
}

MagCorrectionsBefore CliRecording::correctionsBefore(bool writes) const {
  if (!writes) return std::nullopt;
  return analysis::ReadMagCorrections(ctx_);
}

void CliRecording::keepMagCal(const MagCalOptions& options, const MagCorrectionsBefore& before,
                              bool deviceAnswers, std::ostream& err) const {
  if (!before || !deviceAnswers) return;
  const analysis::MagCorrections after = analysis::ReadMagCorrections(ctx_);
  if (after == *before) return;  // the fit was not trusted or not written: nothing changed
  results::CalibrationRecord r;
  r.id = results::NewRecordId();
  r.unit = unit(deviceAnswers);
  r.bench = results::BenchName(ctx_);
  r.at = results::UtcNow();
  r.kind = results::CalibrationKind::MagnetometerApply;
  r.registers = results::MagRegisterChanges(*before, after);
  keep(r, err);
  if (options.flash) {
    r.id = results::NewRecordId();
    r.kind = results::CalibrationKind::FlashUpdate;
    r.registers = results::MagRegisterChanges(after, after);
    keep(r, err);
  }
}

void CliRecording::keepNoise(const NoiseAnalysis& analysed, std::ostream& err) const {
  if (unitName_.empty() || analysed.channels.empty()) return;
  keep(results::NoiseRecordOf(ctx_, unitName_, analysed.files, analysed.channels), err);
}

}  // namespace vexa::cli
