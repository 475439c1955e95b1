#pragma once

// The module's exceptions as C++ types, turned into vexa.UsageError, vexa.TransportError, ...
// by the translators registered in the module (py_errors.cpp). Their text is the one-line
// message vexa-cli prints after "vexa-cli: ".

#include <stdexcept>
#include <string>

#include <pybind11/pybind11.h>

namespace vexa::python {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The device could not be reached, or a transfer failed.
struct TransportError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// No known sensor answered the presence check, and the call needs one (a log run).
struct SensorError : TransportError {
  using TransportError::TransportError;
};
// A log file could not be read back (missing, not a log of this program, damaged).
struct LogFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A log file could not be opened or written, or the samples no longer fitted in memory.
struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A failure of the command line's own steps (exit status and text) as one of the above.
[[noreturn]] void ThrowForStatus(int status, const std::string& text);

void RegisterErrors(pybind11::module_& m);

}  // namespace vexa::python
