#include "python/py_log.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include <unistd.h>

#include <pybind11/stl.h>

#include "analysis/log_file.h"
#include "analysis/noise_characterisation.h"
#include "app/atomic_file.h"
#include "cli/cli_log.h"
#include "analysis/live_noise_sink.h"
#include "datalog/log_file_sink.h"
#include "datalog/log_start_check.h"
#include "datalog/sampling.h"
#include "platform/file_ops.h"
#include "python/py_errors.h"
#include "python/py_live_noise.h"
#include "python/py_log_array.h"
#include "python/py_log_host.h"
#include "python/py_memory_sink.h"
#include "python/py_recording.h"
#include "python/py_session.h"
#include "results/recording.h"

namespace py = pybind11;

namespace vexa::python {

namespace {

// A keyword's number as given; anything else is a TypeError naming the keyword.
double NumberOf(const py::object& value, const char* keyword) {
  if (!py::isinstance<py::int_>(value) && !py::isinstance<py::float_>(value))
    throw py::type_error(std::string(keyword) + " must be a number, not " +
                         py::str(py::type::of(value).attr("__name__")).cast<std::string>());
  return value.cast<double>();
}

// The command line's messages with its options named as the keywords a Python caller wrote
// ("--delay needs ..." becomes "delay_ms needs ...", "give --overwrite" "give overwrite=True").
std::string AsKeywords(std::string text) {
  static const std::pair<std::string, std::string> kNames[] = {{"another --name", "another name"},
                                                               {"--samples", "samples"},
                                                               {"--files", "files"},
                                                               {"--delay", "delay_ms"},
                                                               {"--name", "name"},
                                                               {"--units", "units"},
                                                               {"--dir", "directory"},
                                                               {"--overwrite", "overwrite=True"},
                                                               {"--pipelined", "pipelined=True"},
                                                               {"--sync", "sync=True"}};
  for (const auto& [option, keyword] : kNames)
    for (size_t at = text.find(option); at != std::string::npos;
         at = text.find(option, at + keyword.size()))
      text.replace(at, option.size(), keyword);
  return text;
}

// The log run's words for its limits, in the module's keywords.
const datalog::LogSettingNames kKeywordNames{"samples", "files", "delay_ms"};

// What the keywords ask of the run. The channel names and the units go through the command
// line's reading of them, so that both accept and refuse the same names; the numbers are taken
// as given and checked against the run's limits in the keywords' names.
struct LogArguments {
  py::object channels;
  py::object samples;
  py::object files = py::int_(1);
  py::object delayMs = py::int_(0);
  std::string name = datalog::kDefaultLogName;
  std::string units = "scaled";
  py::object directory = py::none();
  bool pipelined = false;
  bool sync = false;
  bool overwrite = false;
  bool sensorCheck = true;  // refuse to log unless a known sensor answered
  py::object liveNoise = py::none();
  py::object untilResolved = py::none();

  cli::LogCommand parse(const RegisterTable& table) const {
    std::vector<std::string> ops = {"--units", units};
    if (pipelined) ops.push_back("--pipelined");
    if (sync) ops.push_back("--sync");
    if (py::isinstance<py::str>(channels)) {
      ops.push_back(channels.cast<std::string>());
    } else {
      for (auto c : channels) ops.push_back(py::str(c));
    }
    cli::LogCommand command;
    std::string error;
    if (!cli::ParseLogCommand(ops, table, command, error)) throw UsageError(AsKeywords(error));
    const auto given = [](const py::object& v) { return py::repr(v).cast<std::string>(); };
    const double s = NumberOf(samples, "samples");
    const double f = NumberOf(files, "files");
    const double d = NumberOf(delayMs, "delay_ms");
    for (const std::string& problem :
         {datalog::SamplesPerFileProblem(s, kKeywordNames.samples, given(samples)),
          datalog::FilesProblem(f, kKeywordNames.files, given(files)),
          datalog::SampleDelayProblem(d, kKeywordNames.delay, given(delayMs))})
      if (!problem.empty()) throw UsageError(problem);
    command.samples = s;
    command.files = f;
    command.delayMs = static_cast<float>(d);
    command.name = name;
    if (!directory.is_none()) {
      command.directory = py::module_::import("os").attr("fspath")(directory).cast<std::string>();
      if (command.directory->empty()) throw UsageError("directory needs a folder");
    }
    command.overwrite = overwrite;
    return command;
  }
};

// The units the log reader gives a channel's column.
std::string ChannelUnits(int16_t registerIndex) {
  analysis::LogChannel c;
  c.title = datalog::ChannelOfRegister(registerIndex)->valueTitle;
  analysis::DescribeChannel(c);
  return c.units;
}

// Raises `type` (a vexa exception) with `result` attached: what the run took before it ended.
[[noreturn]] void RaiseWithResult(const char* type, const std::string& text,
                                  const py::object& result) {
  py::object exception = py::module_::import("vexa").attr(type)(text);
  exception.attr("result") = result;
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
  throw py::error_already_set();
}

// How a run ended, as taken under the session's lock.
struct RunEnd {
  datalog::LogResult result;
  std::string message;   // the last message shown (what a failure said)
  std::string failure;   // a transfer that failed during the run, even if the run went on
  KeptRecord kept;       // the run's record, when the session keeps them
  KeptRecord keptNoise;  // the live noise figures, kept under the session's unit
  bool ran = false;      // the run began (not refused by a session failed before it)
};

// What a run's end means for the caller, once `taken` holds what it took: nothing when it
// completed, else the interrupt or the error it ended in.
void RaiseForOutcome(PythonLogHost& host, const RunEnd& end, const py::object& taken) {
  host.raiseIfInterrupted(taken);
  switch (end.result.outcome) {
    case datalog::LogOutcome::Completed:
    case datalog::LogOutcome::Cancelled:
      if (!end.failure.empty()) RaiseWithResult("TransportError", end.failure, taken);
      return;
    case datalog::LogOutcome::TransportLost:
      RaiseWithResult("TransportError", end.result.endedEarly, taken);
    case datalog::LogOutcome::NoSample:
      RaiseWithResult("TransportError", end.message, taken);
    default:
      RaiseWithResult("FileError", end.message, taken);
  }
}

// MemAvailable of /proc/meminfo, in bytes; 0 when it cannot be read (then nothing is refused).
double AvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  double kib = 0;
  std::string unit;
  while (meminfo >> key >> kib >> unit)
    if (key == "MemAvailable:") return kib * 1024.0;
  return 0;
}

// A run whose samples cannot fit in memory is refused before its first sample, not ended by
// the machine running out of memory hours later.
void CheckMemory(const py::array& emptyRows, int64_t samples) {
  const double need = double(samples) * double(emptyRows.dtype().itemsize());
  const double available = AvailableMemory();
  if (available <= 0 || need <= available) return;
  const auto mib = [](double bytes) { return std::to_string(int64_t(bytes / 1048576.0)); };
  const std::string text = "samples x channels need " + mib(need) + " MiB, more than the " +
                           mib(available) + " MiB available: take fewer samples, or log_to_files()";
  PyErr_SetString(PyExc_MemoryError, text.c_str());
  throw py::error_already_set();
}

void CheckStart(const datalog::LogSettings& settings) {
  int status = 0;
  std::string problem;
  if (!cli::LogStartProblem(settings, status, problem, kKeywordNames)) return;
  if (status == cli::kExitUsage) throw UsageError(AsKeywords(problem));
  throw FileError(AsKeywords(problem));
}

// The live noise of a run: what was asked, the sink that analyses it in front of the run's own
// (and the file writer it feeds when the run writes files), and the figures at the end.
struct LiveRun {
  cli::LiveNoiseCommand command;
  std::optional<datalog::LogFileSink> files;
  std::unique_ptr<analysis::LiveNoiseSink> sink;
  analysis::LiveNoiseStatus status;
  std::string jsonPath;  // NAME-noise.json of a run to files
};

// Puts the live analysis in front of `sink` (none: the files), after the same checks as
// vexa-cli log: every target on a logged channel, no earlier result replaced unasked.
datalog::SampleSink* AttachLive(AppContext& ctx, const datalog::LogSettings& settings,
                                datalog::SampleSink* sink, LiveRun& live, PythonLogHost& host) {
  analysis::LiveNoiseSettings s;
  s.channels = live.command.channels;
  s.targets = live.command.targets;
  datalog::ChannelList channels;
  std::string error;
  if (!analysis::LiveChannelsOf(s, settings.channels, channels, error))
    throw UsageError(LiveNoiseKeywords(AsKeywords(error)));
  if (sink == nullptr) {
    live.jsonPath = cli::LiveNoiseJsonPath(settings);
    if (!settings.replaceExisting && ::access(live.jsonPath.c_str(), F_OK) == 0)
      throw FileError(live.jsonPath + " already exists: give overwrite=True to replace it, or " +
                      "another name");
    FileOps& ops = ctx.platform.files != nullptr ? *ctx.platform.files : SystemFileOps();
    sink = &live.files.emplace(ops, ctx.clock());
  }
  live.sink = std::make_unique<analysis::LiveNoiseSink>(*sink, ctx.clock(), s);
  host.setLive(live.sink.get());
  return live.sink.get();
}

// Runs the log on the session's device: its checks, then the run with `sink` (none: the files).
RunEnd Run(Session& session, const cli::LogCommand& command, PythonLogHost& host,
           const std::function<datalog::SampleSink*(AppContext&)>& sinkFor, LiveRun& live) {
  RunEnd end;
  DeviceUse use(session);
  // A session failed before the run reads nothing more.
  if (const Status health = use.device().health(); !health) {
    end.result.outcome = datalog::LogOutcome::TransportLost;
    end.result.endedEarly = session.textOf(health.error());
    return end;
  }
  AppContext& ctx = use.ctx();
  datalog::LogSettings settings = cli::LogSettingsOf(ctx, command);
  datalog::SampleSink* sink = sinkFor ? sinkFor(ctx) : nullptr;
  if (sink == nullptr) CheckStart(settings);
  if (live.command.active()) sink = AttachLive(ctx, settings, sink, live, host);
  const std::string started = results::UtcNow();
  const datalog::LogSettings described = settings;
  datalog::LogRun run(ctx, std::move(settings), host);
  if (sink != nullptr) run.setSink(*sink);
  datalog::ChooseSampling(run, command.sampling);
  end.result = run.run();
  end.ran = true;
  if (live.sink) {
    live.status = live.sink->finish();
    host.setLive(nullptr);
  }
  end.message = session.lastMessage();
  // A transfer that failed while the run went on (a run cancelled at that sample, say) is
  // still an error: the session is then failed.
  const Status health = use.device().health();
  if (!health) end.failure = session.textOf(health.error());
  // Kept as vexa-cli keeps it, with the product number while the module still answers.
  if (session.recording().on) {
    const std::string product = health ? results::ReadProductNumber(ctx) : std::string();
    end.kept =
        KeepInStore(session.storeAddress(ctx),
                    results::LogRunRecordFor(ctx, session.recording().unit, started, described,
                                             command.sampling, end.result, product));
    // As vexa-cli log --unit: the live figures under the unit named (files do not say whose).
    std::vector<analysis::ChannelNoise> figures;
    for (const auto& c : live.status.channels)
      if (c.noise.model.ok) figures.push_back(c.noise);
    if (!session.recording().unit.empty() && !figures.empty())
      end.keptNoise = KeepInStore(
          session.storeAddress(ctx),
          results::NoiseRecordOf(ctx, session.recording().unit, end.result.filesWritten, figures));
  }
  return end;
}

// What the live analysis found, on the run's result: its final figures and what ended the run.
void AddLiveResult(py::object result, const LiveRun& live, const RunEnd& end,
                   const PythonLogHost& host) {
  const bool cancelled =
      end.result.outcome == datalog::LogOutcome::Cancelled && !host.interrupted();
  result.attr("live_noise") = LiveFiguresOf(live.status);
  result.attr("ended_by") = EndedBy(live.status, cancelled);
  // The log went on, but that channel's figures end where its analysis fell behind.
  for (const std::string& why : live.status.behind)
    if (PyErr_WarnEx(PyExc_RuntimeWarning, why.c_str(), 1) != 0) throw py::error_already_set();
}

py::object LogToFiles(Session& session, const LogArguments& arguments, const py::object& progress) {
  const cli::LogCommand command = arguments.parse(Registers());
  session.requireKnownSensor(arguments.sensorCheck);
  PythonLogHost host(progress);
  LiveRun live;
  live.command = LiveNoiseCommandOf(arguments.liveNoise, arguments.untilResolved);
  const RunEnd end = Run(session, command, host, {}, live);
  py::object files = py::module_::import("vexa").attr("LogFiles")();
  files.attr("noise_json") = py::none();
  for (const auto& f : end.result.filesWritten) files.attr("append")(f);
  AddLiveResult(files, live, end, host);
  if (live.sink && !end.result.filesWritten.empty()) {
    std::vector<analysis::ChannelNoise> channels;
    for (const auto& c : live.status.channels) channels.push_back(c.noise);
    std::string error;
    if (!WriteFileAtomically(live.jsonPath, analysis::NoiseJson(channels), command.overwrite,
                             error))
      RaiseWithResult("FileError", "the live noise figures could not be written: " + error, files);
    files.attr("noise_json") = live.jsonPath;
  }
  WarnIfNotOnline(end.kept);
  WarnIfNotOnline(end.keptNoise);
  RaiseForOutcome(host, end, files);
  return files;
}

py::object LogToMemory(Session& session, const LogArguments& arguments,
                       const py::object& progress) {
  const cli::LogCommand command = arguments.parse(Registers());
  session.requireKnownSensor(arguments.sensorCheck);
  const int64_t samples = static_cast<int64_t>(command.samples);
  const bool raw = command.units == datalog::LogUnits::Lsb;
  CheckMemory(NewLogRows(command.channels, 0), samples);
  py::array rows = NewLogRows(command.channels, size_t(MemorySink::InitialRows(samples)));
  std::optional<MemorySink> memory;
  PythonLogHost host(progress);
  LiveRun live;
  live.command = LiveNoiseCommandOf(arguments.liveNoise, arguments.untilResolved);
  const RunEnd end = Run(
      session, command, host,
      [&](AppContext& ctx) {
        return &memory.emplace(ctx.clock(), rows, command.channels.size(), samples, raw);
      },
      live);
  MemorySink& sink = *memory;
  sink.trim();
  py::dict units, titles;
  for (int16_t r : command.channels) {
    const auto* channel = datalog::ChannelOfRegister(r);
    units[py::str(ChannelFieldName(r))] = raw ? "LSB" : ChannelUnits(r);
    titles[py::str(ChannelFieldName(r))] = channel->valueTitle;
  }
  const double seconds =
      sink.taken() > 1 ? rows.attr("__getitem__")("time").attr("__getitem__")(-1).cast<double>()
                       : 0.0;
  const double interval = sink.taken() > 1 ? seconds / double(sink.taken() - 1) : 0.0;
  py::dict a;
  a["files"] = py::list();
  a["date"] = sink.firstHeader().date;
  a["time_of_day"] = sink.firstHeader().time;
  a["begin_seconds"] = sink.firstHeader().beginSeconds;
  a["end_seconds"] = sink.lastHeader().endSeconds;
  a["sample_interval"] = interval;
  a["rate"] = interval > 0 ? 1.0 / interval : 0.0;
  a["units"] = units;
  a["titles"] = titles;
  a["lsb"] = raw;
  a["interrupted"] = host.interrupted();
  py::object array = AsLogArray(rows, a);
  AddLiveResult(array, live, end, host);
  WarnIfNotOnline(end.kept);
  WarnIfNotOnline(end.keptNoise);
  // The run's own words name the file a run to files was writing; this one wrote none.
  RunEnd told = end;
  if (end.ran && end.result.outcome == datalog::LogOutcome::TransportLost)
    told.result.endedEarly = "the connection to the sensor failed while sample " +
                             std::to_string(sink.taken() + 1) +
                             " was read; the run ended there, and the error's result holds the " +
                             std::to_string(sink.taken()) + " samples read before";
  RaiseForOutcome(host, told, array);
  return array;
}

}  // namespace

void RegisterLog(py::module_& m) {
  RegisterLogArray(m);
  // The paths a run to files wrote, a list that also carries what its live analysis found.
  py::dict members;
  members["__module__"] = "vexa";
  members["__doc__"] = "The paths log_to_files wrote, with live_noise, ended_by and noise_json.";
  m.attr("LogFiles") =
      py::module_::import("builtins")
          .attr("type")("LogFiles", py::make_tuple(py::type::of(py::list())), members);
  auto session = py::reinterpret_borrow<py::object>(m.attr("Session"));
  const auto method = [&](const char* name, auto&& f, auto... extra) {
    py::setattr(session, name,
                py::cpp_function(std::forward<decltype(f)>(f), py::is_method(session),
                                 py::name(name), extra...));
  };
  method(
      "log",
      [](Session& s, const py::object& channels, const py::object& samples,
         const py::object& delayMs, bool pipelined, bool sync, const std::string& units,
         const py::object& progress, bool sensorCheck, const py::object& liveNoise,
         const py::object& untilResolved) {
        LogArguments a;
        a.sensorCheck = sensorCheck;
        a.liveNoise = liveNoise;
        a.untilResolved = untilResolved;
        a.channels = channels;
        a.samples = samples;
        a.delayMs = delayMs;
        a.pipelined = pipelined;
        a.sync = sync;
        a.units = units;
        return LogToMemory(s, a, progress);
      },
      py::arg("channels"), py::arg("samples"), py::arg("delay_ms") = 0,
      py::arg("pipelined") = false, py::arg("sync") = false, py::arg("units") = "scaled",
      py::arg("progress") = py::none(), py::arg("sensor_check") = true,
      py::arg("live_noise") = py::none(), py::arg("until_resolved") = py::none(),
      R"(Logs `samples` samples of the channels into memory: the run of vexa-cli log without
its files. channels: register names ('XGYRO_OUT', ...) or 'all'. Returns a vexa.LogArray
(sample, time, each channel's value and '_new' flag). progress(taken, total) is called about five
times a second. Ctrl-C ends the run after the current sample: the KeyboardInterrupt carries
the samples taken as its `result`; so does the TransportError of a device lost during the
run. Raises SensorError before the first sample when no known sensor answered at open, unless
sensor_check=False.
live_noise: channels (register names or captions) whose noise is analysed while logged; the
progress callback is then called as progress(taken, total, figures), figures a dict per channel
caption (seconds, samples, Q N B K R with _sigma, _resolved and _unit, time_left per target).
until_resolved: targets "CAPTION/TERM:PERCENT" ("X Gyro/B:10"): the run ends once every one is
resolved to that relative 1-sigma uncertainty, or at its sample limit. The result carries
live_noise (the final figures) and ended_by ("resolved", "samples", "interrupted"; None without
targets).)");
  method(
      "log_to_files",
      [](Session& s, const py::object& channels, const py::object& samples, const py::object& files,
         const py::object& delayMs, const std::string& name, const std::string& units,
         const py::object& directory, bool pipelined, bool sync, bool overwrite,
         const py::object& progress, bool sensorCheck, const py::object& liveNoise,
         const py::object& untilResolved) {
        LogArguments a;
        a.sensorCheck = sensorCheck;
        a.liveNoise = liveNoise;
        a.untilResolved = untilResolved;
        a.channels = channels;
        a.samples = samples;
        a.files = files;
        a.delayMs = delayMs;
        a.name = name;
        a.units = units;
        a.directory = directory;
        a.pipelined = pipelined;
        a.sync = sync;
        a.overwrite = overwrite;
        return LogToFiles(s, a, progress);
      },
      py::arg("channels"), py::arg("samples") = 1000, py::arg("files") = 1, py::arg("delay_ms") = 0,
      py::arg("name") = "DATALOG", py::arg("units") = "scaled", py::arg("directory") = py::none(),
      py::arg("pipelined") = false, py::arg("sync") = false, py::arg("overwrite") = false,
      py::arg("progress") = py::none(), py::arg("sensor_check") = true,
      py::arg("live_noise") = py::none(), py::arg("until_resolved") = py::none(),
      R"(Logs to files exactly as vexa-cli log does: `samples` per file, `files` files named
NAME_n.csv (or .txt where the decimal separator is a comma) in `directory` (default: the working
folder); files of the name already there are replaced only with overwrite=True. Returns the
paths written. Ctrl-C ends the run after the current sample; the current file is still
written, and the KeyboardInterrupt carries the paths as its `result`. Raises SensorError before
the first sample when no known sensor answered at open, unless sensor_check=False.
The result is a vexa.LogFiles (a list of the paths)
live_noise: channels (register names or captions) whose noise is analysed while logged; the
progress callback is then called as progress(taken, total, figures), figures a dict per channel
caption (seconds, samples, Q N B K R with _sigma, _resolved and _unit, time_left per target).
until_resolved: targets "CAPTION/TERM:PERCENT" ("X Gyro/B:10"): the run ends once every one is
resolved to that relative 1-sigma uncertainty, or at its sample limit. The result carries
live_noise (the final figures) and ended_by ("resolved", "samples", "interrupted"; None without
targets), and noise_json, the path of
NAME-noise.json written beside the files when live noise was asked.)");
}

}  // namespace vexa::python
