#include "results/recording.h"

#include <QFileInfo>
#include <QSysInfo>

#include <sstream>

#include "platform/diagnostics.h"
#include "registers/register_access.h"
#include "registers/register_table.h"

namespace vexa::results {

std::string DatabaseAddress(const AppContext& ctx, const std::string& given) {
  return given.empty() ? ctx.preferences.text(kDatabaseKey) : given;
}

std::string BenchName(const AppContext& ctx) {
  const std::string bench = ctx.preferences.text(kBenchKey);
  return bench.empty() ? QSysInfo::machineHostName().toStdString() : bench;
}

std::string InterfaceName(int16_t interfaceNumber) {
  switch (interfaceNumber) {
    case kInterfaceParallel: return "parallel";
    case kInterfaceUsb: return "usb";
    case kInterfaceFtdi: return "ftdi";
    case kInterfaceSpidev: return "spidev";
    default: return "none";
  }
}

std::string ReadProductNumber(AppContext& ctx) {
  ReadRegister(ctx, PROD_ID);
  return std::to_string(ctx.access.LastRaw & 0xFFFF);
}

std::string RunSettingsText(const datalog::LogSettings& s, const std::string& sampling) {
  std::ostringstream out;
  out << "delay=" << s.sampleDelayMs << "ms units="
      << (s.units == datalog::LogUnits::Scaled ? "scaled" : "lsb") << " sampling=" << sampling
      << " name=" << s.fileName;
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
    case datalog::LogOutcome::Completed: return "completed";
    case datalog::LogOutcome::Cancelled: return "cancelled";
    case datalog::LogOutcome::OpenFailed: return "open failed";
    case datalog::LogOutcome::WriteFailed: return "write failed";
    case datalog::LogOutcome::OutOfMemory: return "out of memory";
    case datalog::LogOutcome::NoSample: return "no sample";
  }
  return "unknown";
}

LogRunRecord LogRunRecordOf(const AppContext& ctx, const RunDescription& run,
                            const datalog::LogResult& result, const UnitRecord& unit) {
  LogRunRecord r;
  r.id = NewRecordId();
  r.unit = unit;
  r.bench = BenchName(ctx);
  r.started = run.started;
  r.ended = UtcNow();
  r.interfaceName = InterfaceName(ctx.settings.Interface);
  r.settings = run.settings;
  r.channels = run.channels;
  r.samplesPerFile = run.samplesPerFile;
  r.files = run.files;
  r.samplesTaken = result.samplesTaken;
  r.outcome = OutcomeName(result.outcome);
  for (const auto& path : result.filesWritten) {
    const QFileInfo info(QString::fromStdString(path));
    r.filesWritten.push_back({path, info.exists() ? info.size() : -1});
  }
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

std::string KeepRecord(AppContext& ctx, const std::string& address, const AnyRecord& record) {
  StoreLocation where;
  std::string error;
  if (!ParseStoreLocation(address, where, error)) {
    if (ctx.platform.diagnostics) ctx.platform.diagnostics->cause(error);
    return "results store: not recorded (" + error + ")";
  }
  ResultsStore store(where);
  store.open();
  const bool kept = store.record(record);
  const StoreState state = store.state();
  if ((!kept || !state.online) && ctx.platform.diagnostics && !state.lastError.empty())
    ctx.platform.diagnostics->cause("results store: " + state.lastError);
  return kept ? StateText(state) : "results store: not recorded";
}

}  // namespace vexa::results
