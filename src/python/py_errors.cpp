#include "python/py_errors.h"

#include "cli/cli_session.h"

namespace py = pybind11;

namespace vexa::python {

void ThrowForStatus(int status, const std::string& text) {
  if (status == cli::kExitUsage) throw UsageError(text);
  throw TransportError(text);
}

void RegisterErrors(py::module_& m) {
  static py::exception<std::runtime_error> base(m, "Error");
  base.doc() = "Base of every error the module raises.";
  py::register_exception<UsageError>(m, "UsageError", base).doc() =
      "Bad usage: an unknown register, interface or channel, a malformed value.";
  py::register_exception<TransportError>(m, "TransportError", base).doc() =
      "The device could not be reached, or a transfer failed.";
  py::register_exception<LogFileError>(m, "LogFileError", base).doc() =
      "A log file could not be read back: missing, not a log of this program, or damaged.";
  py::register_exception<FileError>(m, "FileError", base).doc() =
      "A log file could not be opened or written, or the samples no longer fitted in memory.";
  // The command line's own checks throw its failures; they arrive here as the errors above.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const cli::Failure& f) {
      const char* type = f.status == cli::kExitUsage ? "UsageError" : "TransportError";
      PyErr_SetString(py::module_::import("vexa").attr(type).ptr(), f.text.c_str());
    }
  });
}

}  // namespace vexa::python
