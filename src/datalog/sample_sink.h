#pragma once

// Where a log run's samples go. The run takes samples and hands each one to its sink; the sink
// decides what becomes of them: the streaming file writer (log_file_sink.h) for the windows and
// the command line, something in memory for a program that wants the values themselves.
//
// Order of calls: beginRun once, before the first sample (a sink that can fail should fail
// here, not after S samples); then per file beginFile, addSample per sample, endFile. A false
// from any of them ends the run; failure() then says why. After a false from addSample the run
// still calls endFile, so that the samples taken are kept.

#include <cstdint>
#include <string>

#include "datalog/log_file_format.h"
#include "datalog/log_sample.h"

namespace vexa::datalog {

// What a run is about to do, as a sink needs to know it before the first sample.
struct LogRunPlan {
  std::string directory;
  std::string fileName;  // before "_n" and the extension
  int64_t files = 1;     // F
  ChannelList channels;  // register-table order
  LogUnits units = LogUnits::Scaled;
  LogFormat format;
  bool replaceExisting = false;  // the user agreed to replace files of the same names
};

// The file a run is about to fill.
struct LogFileStart {
  int64_t number = 1;  // n, 1-based
  std::string name;    // LogFileName(...): "DATALOG_1.csv"
  LogHeader header;    // as far as known at the start: the end seconds repeat the begin seconds
};

enum class SinkFailureKind {
  None,
  Refused,  // before the first sample: names taken, folder not writable, disk full, locked
  Open,     // a file could not be created
  Write,    // a file could not be written, synced or published
  TooSlow,  // the samples came faster than they could be stored; those taken are kept
};

struct SinkFailure {
  SinkFailureKind kind = SinkFailureKind::None;
  std::string cause;    // for the diagnostics line: technical, with paths and errno text
  std::string message;  // for the user: the message box text, CR LF between paragraphs
};

// The longest a run waits between two calls of its sink.
constexpr double kIdleSeconds = 0.25;

class SampleSink {
 public:
  virtual ~SampleSink() = default;
  virtual bool beginRun(const LogRunPlan& /*plan*/) { return true; }
  virtual bool beginFile(const LogFileStart& file) = 0;
  // Must not wait for anything slow (a disk): it runs between two samples.
  virtual bool addSample(int64_t sampleNumber, const SampleValues& values) = 0;
  // Called while the run waits between samples, at least every kIdleSeconds of a long sample
  // delay, so that what was taken goes to its place by age. A false ends the run as addSample's.
  virtual bool idle() { return true; }
  // The file's last sample has been taken; `header` has its end seconds, date and time.
  // Returns once the file is kept whole; `path` is where (empty for a sink without files).
  virtual bool endFile(const LogHeader& header, std::string& path) = 0;
  virtual const SinkFailure& failure() const = 0;
};

}  // namespace vexa::datalog
