#include "python/py_log_host.h"

#include <cmath>

#include "python/py_live_noise.h"

namespace py = pybind11;

namespace vexa::python {

PythonLogHost::~PythonLogHost() {
  py::gil_scoped_acquire gil;
  progress_ = py::object();
  error_.reset();
}

bool PythonLogHost::cancelRequested() {
  if (error_ || (live_ != nullptr && live_->targetsMet())) return true;
  const auto now = Clock::now();
  if (now - lastSignalCheck_ < std::chrono::milliseconds(50)) return false;
  lastSignalCheck_ = now;
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) error_.emplace();
  return error_.has_value();
}

void PythonLogHost::progress(const datalog::LogProgress& p) {
  if (!progress_ || progress_.is_none() || error_) return;
  const double total = p.samplesPerFile * p.files;
  const double taken = (static_cast<double>(p.file) - 1) * p.samplesPerFile + p.sample;
  const auto now = Clock::now();
  if (taken < total && now - lastProgress_ < std::chrono::milliseconds(200)) return;
  lastProgress_ = now;
  py::gil_scoped_acquire gil;
  try {
    if (live_ != nullptr)
      progress_(static_cast<int64_t>(taken), static_cast<int64_t>(total),
                LiveFiguresOf(live_->status()));
    else
      progress_(static_cast<int64_t>(taken), static_cast<int64_t>(total));
  } catch (py::error_already_set& e) {
    e.restore();
    error_.emplace();
  }
}

void PythonLogHost::raiseIfInterrupted(const py::object& result) {
  if (!error_) return;
  py::error_already_set e = std::move(*error_);
  error_.reset();
  // Ctrl-C or the callback's own exception: either way the caller gets what was taken.
  if (PyObject_SetAttrString(e.value().ptr(), "result", result.ptr()) != 0) PyErr_Clear();
  throw e;
}

}  // namespace vexa::python
