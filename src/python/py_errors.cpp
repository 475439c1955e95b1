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
  auto& transport = py::register_exception<TransportError>(m, "TransportError", base);
  transport.doc() = "The device could not be reached, or a transfer failed.";
  py::register_exception<SensorError>(m, "SensorError", transport).doc() =
      "No known sensor answers (PROD_ID), and the call needs one; sensor_check=False goes on.";
  // A warning, not an error: reads go on, through warnings.warn, so a script may filter it.
  auto warning = py::reinterpret_steal<py::object>(
      PyErr_NewExceptionWithDoc("vexa.SensorWarning",
                                "No known sensor answers (PROD_ID): nothing on the bus, or an SPI "
                                "mode the sensor does not use. Values read may be meaningless.",
                                PyExc_UserWarning, nullptr));
  m.attr("SensorWarning") = warning;
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
