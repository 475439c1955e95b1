#pragma once

// A log run's samples straight into a numpy structured array (py_log_array.h), with no file:
// each sample is one row, written in place while the run goes on without the interpreter lock.
// The array starts at the run's sample count when that is modest and otherwise grows by
// doubling; growing and the final trim resize it in place (realloc), so the memory a run takes
// stays near the array's own size.

#include <cstdint>

#include <pybind11/numpy.h>

#include "datalog/sample_sink.h"
#include "platform/clock.h"
#include "python/py_log_array.h"

namespace vexa::python {

class MemorySink : public datalog::SampleSink {
 public:
  // `rows` must be the only reference to its array; it is resized here, under the lock.
  MemorySink(Clock& clock, pybind11::array& rows, size_t channels, int64_t expected, bool raw);

  bool beginFile(const datalog::LogFileStart&) override { return true; }
  bool addSample(int64_t sampleNumber, const datalog::SampleValues& values) override;
  bool endFile(const datalog::LogHeader& header, std::string& path) override;
  const datalog::SinkFailure& failure() const override { return failure_; }

  int64_t taken() const { return taken_; }
  const datalog::LogHeader& firstHeader() const { return first_; }
  const datalog::LogHeader& lastHeader() const { return last_; }
  // Trims the array to the samples taken. Needs the interpreter lock.
  void trim();

  static int64_t InitialRows(int64_t expected);

 private:
  bool grow();

  Clock& clock_;
  pybind11::array& rows_;
  LogRowLayout layout_;
  int64_t expected_;
  bool raw_;
  int64_t capacity_ = 0;
  int64_t taken_ = 0;
  uint8_t* base_ = nullptr;
  double start_ = 0;
  datalog::LogHeader first_, last_;
  bool sawHeader_ = false;
  datalog::SinkFailure failure_;
};

}  // namespace vexa::python
