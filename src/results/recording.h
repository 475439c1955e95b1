#pragma once

// What the program's edges call to record their work: once a log run has ended, once a
// calibration write is done. One call each; a store that cannot be used costs a diagnostic
// line, never the work itself.

#include <memory>
#include <string>
#include <vector>

#include "analysis/mag_calibration.h"
#include "analysis/noise_characterisation.h"
#include "app/app_context.h"
#include "datalog/log_run.h"
#include "datalog/sampling.h"
#include "results/results_store.h"

namespace vexa::results {

// VexaEval.cfg keys: the database address (empty: the SQLite file), the unit last entered, and
// the bench's name (empty: the host name).
constexpr const char* kDatabaseKey = "results.database";
constexpr const char* kUnitKey = "results.unit";
constexpr const char* kBenchKey = "results.bench";

// The address in effect: `given` when not empty, else the program's --db, else VexaEval.cfg's.
std::string DatabaseAddress(const AppContext& ctx, const std::string& given = {});
std::string BenchName(const AppContext& ctx);
// This machine's host name: where the files a record names are.
std::string HostName();

// PROD_ID read from the module, as decimal text; empty when the read failed (no message shown).
std::string ReadProductNumber(AppContext& ctx);

// What the caller knows about a run besides its result.
struct RunDescription {
  std::string started;  // UtcNow() before the run
  std::string settings;
  std::vector<std::string> channels;
  double samplesPerFile = 0;
  double files = 0;
};

// The settings text of a run: "delay=... units=... sampling=...".
std::string RunSettingsText(const datalog::LogSettings& settings, const std::string& sampling);
std::vector<std::string> ChannelTitles(const AppContext& ctx, const datalog::ChannelList& list);
const char* OutcomeName(datalog::LogOutcome outcome);

LogRunRecord LogRunRecordOf(const AppContext& ctx, const RunDescription& run,
                            const datalog::LogResult& result, const UnitRecord& unit);

// The six magnetometer correction registers, before and after a write.
std::vector<RegisterChange> MagRegisterChanges(const analysis::MagCorrections& before,
                                               const analysis::MagCorrections& after);

// The raw values of register rows, read now (for the registers before and after a write).
std::vector<int32_t> ReadRawValues(AppContext& ctx, const std::vector<int16_t>& rows);
std::vector<RegisterChange> RegisterChanges(const AppContext& ctx, const std::vector<int16_t>& rows,
                                            const std::vector<int32_t>& before,
                                            const std::vector<int32_t>& after);

// The record of a log run of the datalog window or the command line, after it ended.
LogRunRecord LogRunRecordFor(const AppContext& ctx, const std::string& unit,
                             const std::string& started, const datalog::LogSettings& settings,
                             const datalog::SamplingChoice& sampling,
                             const datalog::LogResult& result, const std::string& product);

// A log run of the datalog window or the command line, recorded after it ended.
std::string KeepLogRun(AppContext& ctx, const std::string& address, const std::string& unit,
                       const std::string& started, const datalog::LogSettings& settings,
                       const datalog::SamplingChoice& sampling, const datalog::LogResult& result,
                       const std::string& product);

// A calibration write under `unit` (empty: the product number), with its registers.
// `product`: the number read when the window opened (a write such as the flash update reads
// nothing from the module afterwards).
std::string KeepCalibration(AppContext& ctx, const std::string& unit, const std::string& product,
                            CalibrationKind kind, const std::vector<RegisterChange>& registers);

// The figures of a noise analysis as the store keeps them: the five terms by their names, and the
// density's white level as "density" when the spectrum showed one.
ChannelFigures FiguresOf(const analysis::ChannelNoise& channel);
// A noise analysis of log files under the unit named (a file does not tell the product number).
NoiseRecord NoiseRecordOf(const AppContext& ctx, const std::string& unit,
                          const std::vector<std::string>& files,
                          const std::vector<analysis::ChannelNoise>& channels);

// The recording of one command or one action: one store, so a server is asked once however
// many records there are, and each cause of a failure is told once.
class Recorder {
 public:
  explicit Recorder(std::string address);
  // Keeps the record; returns the state text for the user ("results store: online",
  // "results store: offline, 1 record waiting", "results store: not recorded").
  std::string keep(const AnyRecord& record);
  // What went wrong and was not told yet (a wrong password, a damaged file set aside, ...);
  // empty when nothing, or nothing new.
  std::string untoldCause();

 private:
  std::string address_;
  std::unique_ptr<ResultsStore> store_;
  std::string cause_;
  std::string told_;
};

// Opens the store at `address`, keeps the record, and returns the state text for the user
// ("results store: offline, 1 record waiting"); the cause of a failure goes to the diagnostics.
std::string KeepRecord(AppContext& ctx, const std::string& address, const AnyRecord& record);

}  // namespace vexa::results
