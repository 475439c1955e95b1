#pragma once

// Where a log run meets Python: Ctrl-C and the progress callback. The run goes on without the
// interpreter lock; about every 50 ms the host takes the lock to let the interpreter see a
// pending signal, and at most every 0.2 s (and after the last sample) calls the callback with
// (samples taken, samples in all). A KeyboardInterrupt, or an exception the callback raised,
// ends the run after the current sample and is raised once what was taken has been kept.

#include <chrono>
#include <optional>

#include <pybind11/pybind11.h>

#include "analysis/live_noise_sink.h"
#include "datalog/log_run.h"

namespace vexa::python {

class PythonLogHost : public datalog::LogHost {
 public:
  explicit PythonLogHost(pybind11::object progress) : progress_(std::move(progress)) {}
  ~PythonLogHost() override;

  bool cancelRequested() override;
  void progress(const datalog::LogProgress& p) override;

  // Raises what ended the run (Ctrl-C or the exception the callback raised) with `result`
  // attached as its `result` attribute; does nothing when the run was not interrupted.
  void raiseIfInterrupted(const pybind11::object& result);
  bool interrupted() const { return error_.has_value(); }
  // A run with live noise: it ends once every target is met, and the callback gets the
  // current figures as a third argument.
  void setLive(const analysis::LiveNoiseSink* live) { live_ = live; }

 private:
  using Clock = std::chrono::steady_clock;
  pybind11::object progress_;
  std::optional<pybind11::error_already_set> error_;
  Clock::time_point lastSignalCheck_ = Clock::now();
  Clock::time_point lastProgress_{};
  const analysis::LiveNoiseSink* live_ = nullptr;
};

}  // namespace vexa::python
