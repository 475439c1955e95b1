#include "cli/cli_accelcal.h"

#include <ostream>

#include "results/recording.h"
#include "results/results_store.h"

namespace vexa::cli {

namespace {

constexpr const char* kOffsetLabels[3] = {"XACCL_OFF", "YACCL_OFF", "ZACCL_OFF"};

results::FigureTerm term(double value, double sigma, const char* unit) {
  return {value, sigma, unit, true};
}

// The fit as figures of one channel, so that `figures` compares them across units.
results::ChannelFigures figuresOf(const analysis::AccelFit& fit) {
  results::ChannelFigures c;
  c.title = "Accel calibration";
  c.kind = "accel";
  const char* axes[3] = {"x", "y", "z"};
  const char* angles[3] = {"yx", "zx", "zy"};
  for (int a = 0; a < 3; ++a) {
    c.terms[std::string("bias_") + axes[a]] =
        term(fit.model.biasG[a] * 1000, fit.sigma.biasG[a] * 1000, "mg");
    c.terms[std::string("scale_") + axes[a]] =
        term(fit.model.scale[a] * 1e6, fit.sigma.scale[a] * 1e6, "ppm");
    c.terms[std::string("misalignment_") + angles[a]] =
        term(fit.model.misalignmentDeg[a], fit.sigma.misalignmentDeg[a], "deg");
  }
  c.terms["residual"] = term(fit.rmsResidualMg, 0, "mg");
  return c;
}

void show(const std::string& state, std::ostream& err) {
  if (state != "results store: online") err << "vexa-cli: " << state << '\n';
}

}  // namespace

void KeepAccelCal(AppContext& ctx, const CliOptions& options, const AccelCalOutcome& outcome,
                  bool transferFailed, std::ostream& err) {
  if (options.unit.empty() || transferFailed || !outcome.fit.ok) return;
  const std::string address = results::DatabaseAddress(ctx, options.database);
  const results::UnitRecord unit =
      results::NamedUnit(options.unit, results::ReadProductNumber(ctx));
  results::NoiseRecord figures;
  figures.id = results::NewRecordId();
  figures.unit = unit;
  figures.bench = results::BenchName(ctx);
  figures.at = results::UtcNow();
  figures.source = "accelcal";
  figures.channels.push_back(figuresOf(outcome.fit));
  show(results::KeepRecord(ctx, address, figures), err);
  if (!outcome.written) return;
  results::CalibrationRecord r;
  r.id = results::NewRecordId();
  r.unit = unit;
  r.bench = figures.bench;
  r.at = figures.at;
  r.kind = results::CalibrationKind::AccelerometerAssistant;
  for (int a = 0; a < 3; ++a)
    r.registers.push_back({kOffsetLabels[a], outcome.before[a], outcome.after[a]});
  show(results::KeepRecord(ctx, address, r), err);
  if (outcome.flashed) {
    r.id = results::NewRecordId();
    r.kind = results::CalibrationKind::FlashUpdate;
    for (auto& change : r.registers) change.before = change.after;
    show(results::KeepRecord(ctx, address, r), err);
  }
}

}  // namespace vexa::cli
