#include "results/recording.h"

#include <QSysInfo>

#include <sstream>

#include "platform/diagnostics.h"
#include "registers/data_ready_wait.h"
#include "registers/register_access.h"
#include "registers/register_table.h"
#include "results/figure_names.h"
#include "results/file_facts.h"

namespace vexa::results {

std::string DatabaseAddress(const AppContext& ctx, const std::string& given) {
  if (!given.empty()) return given;
  if (!ctx.resultsDatabase.empty()) return ctx.resultsDatabase;
  return ctx.preferences.text(kDatabaseKey);
}

std::string HostName() {
  return QSysInfo::machineHostName().toStdString();
}

std::string BenchName(const AppContext& ctx) {
  const std::string bench = ctx.preferences.text(kBenchKey);
  return bench.empty() ? HostName() : bench;
}

std::string ReadProductNumber(AppContext& ctx) {
  // A transport already lost has said why and reads nothing more; one lost by this read (the
  // datalog window reads the number as it opens) says why here, as any first failure does.
  if (TransportLost(ctx)) return {};
  ReadRegister(ctx, PROD_ID);
  if (TransportLost(ctx)) return {};
  return std::to_string(ctx.access.LastRaw & 0xFFFF);
}

std::string RunSettingsText(const datalog::LogSettings& s, const std::string& sampling) {
  std::ostringstream out;
  out << "delay=" << s.sampleDelayMs
      << "ms units=" << (s.units == datalog::LogUnits::Scaled ? "scaled" : "lsb")
      << " sampling=" << sampling << " name=" << s.fileName;
  return out.str();
}

std::vector<std::string> ChannelTitles(const AppContext& ctx, const datalog::ChannelList& list) {
  std::vector<std::string> titles;
  for (int16_t index : list) {
    std::string label = ctx.registers.Label[index];
    while (!label.empty() && label.back() == ' ') label.pop_back();
    titles.push_back(label);
  }
  return titles;
}

const char* OutcomeName(datalog::LogOutcome outcome) {
  switch (outcome) {
    case datalog::LogOutcome::Completed:
      return "completed";
    case datalog::LogOutcome::Cancelled:
      return "cancelled";
    case datalog::LogOutcome::OpenFailed:
      return "open failed";
    case datalog::LogOutcome::WriteFailed:
      return "write failed";
    case datalog::LogOutcome::Refused:
      return "refused";
    case datalog::LogOutcome::DiskTooSlow:
      return "disk too slow";
    case datalog::LogOutcome::NoSample:
      return "no sample";
    case datalog::LogOutcome::TransportLost:
      return "transport lost";
  }
  return "unknown";
}

LogRunRecord LogRunRecordOf(const AppContext& ctx, const RunDescription& run,
                            const datalog::LogResult& result, const UnitRecord& unit) {
  LogRunRecord r;
  r.id = NewRecordId();
  r.unit = unit;
  r.bench = BenchName(ctx);
  r.host = HostName();
  r.started = run.started;
  r.ended = UtcNow();
  r.interfaceName = InterfaceName(ctx.settings.Interface);
  r.settings = run.settings;
  r.channels = run.channels;
  r.samplesPerFile = run.samplesPerFile;
  r.files = run.files;
  r.samplesTaken = result.samplesTaken;
  r.outcome = OutcomeName(result.outcome);
  for (const auto& path : result.filesWritten) r.filesWritten.push_back(MeasureFile(path));
  return r;
}

std::vector<RegisterChange> MagRegisterChanges(const analysis::MagCorrections& before,
                                               const analysis::MagCorrections& after) {
  static const char* const kLabels[] = {"XMAGN_HIF", "YMAGN_HIF", "ZMAGN_HIF",
                                        "XMAGN_SIF", "YMAGN_SIF", "ZMAGN_SIF"};
  std::vector<RegisterChange> changes;
  for (size_t i = 0; i < 3; ++i) {
    changes.push_back({kLabels[i], before.hardIron[i], after.hardIron[i]});
    changes.push_back({kLabels[i + 3], before.softIron[i], after.softIron[i]});
  }
  return changes;
}

std::vector<int32_t> ReadRawValues(AppContext& ctx, const std::vector<int16_t>& rows) {
  std::vector<int32_t> values;
  for (int16_t row : rows) {
    ReadRegister(ctx, row);
    values.push_back(ctx.access.LastRaw);
  }
  return values;
}

std::vector<RegisterChange> RegisterChanges(const AppContext& ctx, const std::vector<int16_t>& rows,
                                            const std::vector<int32_t>& before,
                                            const std::vector<int32_t>& after) {
  std::vector<RegisterChange> changes;
  for (size_t i = 0; i < rows.size() && i < before.size() && i < after.size(); ++i)
    changes.push_back({ChannelTitles(ctx, {rows[i]}).front(), before[i], after[i]});
  return changes;
}

Recorder::Recorder(std::string address) : address_(std::move(address)) {}

std::string Recorder::keep(const AnyRecord& record) {
  if (!store_) {
    StoreLocation where;
    if (!ParseStoreLocation(address_, where, cause_)) return "results store: not recorded";
    store_ = std::make_unique<ResultsStore>(where);
    store_->open();
  }
  const bool kept = store_->record(record);
  const StoreState state = store_->state();
  if (!state.lastError.empty()) cause_ = state.lastError;
  return kept ? StateText(state) : "results store: not recorded";
}

std::string Recorder::untoldCause() {
  if (cause_.empty() || cause_ == told_) return {};
  told_ = cause_;
  // One line: the drivers' messages come with line breaks and tabs of their own.
  std::string line;
  for (char c : cause_) {
    const bool space = static_cast<unsigned char>(c) < 0x20 || c == ' ';
    if (space && (line.empty() || line.back() == ' ')) continue;
    line += space ? ' ' : c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string KeepRecord(AppContext& ctx, const std::string& address, const AnyRecord& record) {
  Recorder recorder(address);
  const std::string state = recorder.keep(record);
  const std::string cause = recorder.untoldCause();
  if (!cause.empty() && ctx.platform.diagnostics)
    ctx.platform.diagnostics->cause("results store: " + cause);
  return state;
}

}  // namespace vexa::results

namespace vexa::results {

LogRunRecord LogRunRecordFor(const AppContext& ctx, const std::string& unit,
                             const std::string& started, const datalog::LogSettings& settings,
                             const datalog::SamplingChoice& sampling,
                             const datalog::LogResult& result, const std::string& product) {
  const char* how = sampling.dataReady ? "sync" : sampling.pipelined ? "pipelined" : "single";
  RunDescription run;
  run.started = started;
  run.settings = RunSettingsText(settings, how);
  run.channels = ChannelTitles(ctx, settings.channels);
  run.samplesPerFile = settings.samplesPerFile;
  run.files = settings.filesPerSession;
  return LogRunRecordOf(ctx, run, result, NamedUnit(unit, product));
}

std::string KeepLogRun(AppContext& ctx, const std::string& address, const std::string& unit,
                       const std::string& started, const datalog::LogSettings& settings,
                       const datalog::SamplingChoice& sampling, const datalog::LogResult& result,
                       const std::string& product) {
  return KeepRecord(ctx, address,
                    LogRunRecordFor(ctx, unit, started, settings, sampling, result, product));
}

ChannelFigures FiguresOf(const analysis::ChannelNoise& channel) {
  ChannelFigures c;
  c.title = channel.title;
  c.caption = CaptionOfTitle(channel.title);
  c.kind = analysis::SensorKindName(channel.kind);
  const auto term = [](const analysis::NoiseFigure& f) {
    return FigureTerm{f.value, f.sigma, f.unit, f.resolved};
  };
  for (int t = 0; t < analysis::kNoiseTerms; ++t)
    c.terms[analysis::kNoiseTermNames[size_t(t)]] = term(channel.figures[size_t(t)]);
  if (channel.density.whiteFound) c.terms["density"] = term(channel.densityFigure);
  return c;
}

NoiseRecord NoiseRecordOf(const AppContext& ctx, const std::string& unit,
                          const std::vector<std::string>& files,
                          const std::vector<analysis::ChannelNoise>& channels) {
  NoiseRecord r;
  r.id = NewRecordId();
  r.unit = NamedUnit(unit, "");
  r.bench = BenchName(ctx);
  r.host = HostName();
  r.at = UtcNow();
  for (const auto& f : files) r.files.push_back(MeasureFile(f));
  // One path a line: a file name may hold any other separator.
  for (const auto& f : r.files) r.source += (r.source.empty() ? "" : "\n") + f.path;
  // Figures of a record analysed although it is not still keep the mark and why, one channel a
  // line after the files: whoever reads them later must not take them for the sensor's own.
  for (const auto& c : channels) {
    r.channels.push_back(FiguresOf(c));
    if (c.still()) continue;
    std::string why;
    for (const auto& reason : c.notStill) why += (why.empty() ? "" : "; ") + reason;
    r.source += (r.source.empty() ? "" : "\n") + std::string(analysis::kRecordNotStill) + ": " +
                c.title + ": " + why;
  }
  return r;
}

std::string KeepCalibration(AppContext& ctx, const std::string& unit, const std::string& product,
                            CalibrationKind kind, const std::vector<RegisterChange>& registers) {
  CalibrationRecord r;
  r.id = NewRecordId();
  r.unit = NamedUnit(unit, product);
  r.bench = BenchName(ctx);
  r.at = UtcNow();
  r.kind = kind;
  r.registers = registers;
  return KeepRecord(ctx, DatabaseAddress(ctx), r);
}

}  // namespace vexa::results
