#include "python/py_log.h"

#include <cstdio>

#include <pybind11/stl.h>

#include "cli/cli_log.h"
#include "datalog/sampling.h"
#include "python/py_errors.h"
#include "python/py_log_array.h"
#include "python/py_log_host.h"
#include "python/py_session.h"

namespace py = pybind11;

namespace vexa::python {

namespace {

std::string NumberText(const py::object& value) {
  if (py::isinstance<py::float_>(value)) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value.cast<double>());
    return text;
  }
  return py::str(value);
}

// The command line's operands of `log`, so that its checks and messages are the command
// line's own.
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

  cli::LogCommand parse(const RegisterTable& table) const {
    std::vector<std::string> ops = {"--samples", NumberText(samples),
                                    "--files",   NumberText(files),
                                    "--delay",   NumberText(delayMs),
                                    "--name",    name,
                                    "--units",   units};
    if (!directory.is_none()) {
      ops.push_back("--dir");
      ops.push_back(py::module_::import("os").attr("fspath")(directory).cast<std::string>());
    }
    if (pipelined) ops.push_back("--pipelined");
    if (sync) ops.push_back("--sync");
    if (py::isinstance<py::str>(channels)) {
      ops.push_back(channels.cast<std::string>());
    } else {
      for (auto c : channels) ops.push_back(py::str(c));
    }
    cli::LogCommand command;
    std::string error;
    if (!cli::ParseLogCommand(ops, table, command, error)) throw UsageError(error);
    return command;
  }
};

// What a run's outcome means for the caller: the files taken, or the error it ended in.
void RaiseForOutcome(Session& session, const datalog::LogResult& result, int shownBefore) {
  switch (result.outcome) {
    case datalog::LogOutcome::Completed:
    case datalog::LogOutcome::Cancelled:
      session.failIfMessageSince(shownBefore);  // a transfer failed and the run went on
      return;
    case datalog::LogOutcome::NoSample:
      session.failIfMessageSince(shownBefore);
      throw TransportError("the log run ended without a new sample");
    default:
      throw FileError(session.cliSession().messages().lastLine());
  }
}

py::list LogToFiles(Session& session, const LogArguments& arguments, const py::object& progress) {
  AppContext& ctx = session.ctx();
  const cli::LogCommand command = arguments.parse(ctx.registers);
  PythonLogHost host(progress);
  const int before = session.messagesShown();
  datalog::LogResult result;
  {
    py::gil_scoped_release nogil;
    datalog::LogRun run(ctx, cli::LogSettingsOf(ctx, command), host);
    datalog::ChooseSampling(run, command.sampling);
    result = run.run();
  }
  py::list files;
  for (const auto& f : result.filesWritten) files.append(f);
  host.raiseIfInterrupted(files);
  RaiseForOutcome(session, result, before);
  return files;
}

}  // namespace

void RegisterLog(py::module_& m) {
  RegisterLogArray(m);
  auto session = py::reinterpret_borrow<py::object>(m.attr("Session"));
  py::setattr(
      session, "log_to_files",
      py::cpp_function(
          [](Session& s, const py::object& channels, const py::object& samples,
             const py::object& files, const py::object& delayMs, const std::string& name,
             const std::string& units, const py::object& directory, bool pipelined, bool sync,
             const py::object& progress) {
            LogArguments a;
            a.channels = channels;
            a.samples = samples;
            a.files = files;
            a.delayMs = delayMs;
            a.name = name;
            a.units = units;
            a.directory = directory;
            a.pipelined = pipelined;
            a.sync = sync;
            return LogToFiles(s, a, progress);
          },
          py::is_method(session), py::arg("channels"), py::arg("samples") = 1000,
          py::arg("files") = 1, py::arg("delay_ms") = 0, py::arg("name") = "DATALOG",
          py::arg("units") = "scaled", py::arg("directory") = py::none(),
          py::arg("pipelined") = false, py::arg("sync") = false, py::arg("progress") = py::none(),
          py::name("log_to_files"), py::sibling(py::getattr(session, "log_to_files", py::none())),
          R"(Logs to files exactly as vexa-cli log does: `samples` per file, `files` files named
NAME_n.csv (or .txt where the decimal separator is a comma) in `directory` (default: the working
folder). channels: register names ('XGYRO_OUT', ...) or 'all'. Returns the paths written.
Ctrl-C ends the run after the current sample; the current file is still written, and the
KeyboardInterrupt carries the paths as its `result`.)"));
}

}  // namespace vexa::python
