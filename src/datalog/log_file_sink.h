#pragma once

// The log files of a run, streamed to disk while the run goes and published whole at the end.
//
// File n is filled under its partial name (DATALOG_1.csv.partial), created new (O_EXCL, never
// through a link) before its first sample, with the header as far as it is known at the start:
// its End Seconds repeat its Begin Seconds, and its date and time are those of the start. The
// data lines follow as they are taken, in blocks: the sampling thread formats each sample into
// the current block and hands full blocks (or any block older than kHandOverSeconds) to a writer
// thread through a bounded queue, so it never waits for the disk, a killed run loses at most
// about a second of samples, and the memory stays bounded whatever S and F are. A disk that
// cannot keep up ends the run (TooSlow) instead of the queue growing.
//
// When the file's last sample has been taken the writer drains, the complete file (the header
// with its end seconds, date and time, then the data) is written under a temporary name in the
// same folder, synced, renamed to its own name, and the folder synced; then the partial goes.
// A file of the name that was there before stays intact until this rename replaces it whole,
// and only when the run was allowed to replace it.
//
// Before the first sample, beginRun takes a lock on the run's names (a hidden lock file beside
// them, .DATALOG.csv.lock, holding the pid of its run), which also shows a folder that cannot be
// written, checks the room left on the disk, and refuses names that are taken (a file or a
// partial of any n up to F) unless the plan allows replacing them.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "datalog/sample_sink.h"
#include "platform/clock.h"
#include "platform/file_ops.h"

namespace vexa::datalog {

struct StreamLimits {
  size_t blockBytes = 256 * 1024;        // a block handed to the writer when this full
  size_t queueBytes = 16 * 1024 * 1024;  // more waiting than this: the disk is too slow
  double handOverSeconds = 0.25;         // a block no older than this before it goes
  double syncSeconds = 1.0;              // the writer syncs new data this often
  size_t copyBytes = 1024 * 1024;        // the piece in which a finished file is copied
};

class LogFileSink : public SampleSink {
 public:
  LogFileSink(FileOps& files, Clock& clock, StreamLimits limits = {});
  // Stops the writer after what it holds; a file that was not ended stays as its partial.
  ~LogFileSink() override;
  LogFileSink(const LogFileSink&) = delete;
  LogFileSink& operator=(const LogFileSink&) = delete;

  bool beginRun(const LogRunPlan& plan) override;
  bool beginFile(const LogFileStart& file) override;
  bool addSample(int64_t sampleNumber, const SampleValues& values) override;
  bool endFile(const LogHeader& header, std::string& path) override;
  const SinkFailure& failure() const override { return failure_; }

  // The most bytes that waited for the writer at once; for measurements.
  size_t peakQueuedBytes() const;

 private:
  void fail(SinkFailureKind kind, const std::string& cause, const std::string& message);
  void handOver();
  void writerLoop();
  // Waits until the writer has written all it was given, and takes the file from it.
  int takeFileFromWriter();
  bool publish(const LogHeader& header, std::string& path);
  void releaseLock();

  FileOps& files_;
  Clock& clock_;
  StreamLimits limits_;
  LogRunPlan plan_;
  SampleLineWriter lines_{LogFormat{}};
  SinkFailure failure_;

  int lockFd_ = -1;
  std::string lockPath_;

  // The file being filled.
  std::string name_;
  std::string partialPath_;
  int fd_ = -1;
  size_t partialHeaderBytes_ = 0;
  int64_t samples_ = 0;
  std::string block_;
  double blockStartedAt_ = -1;

  // Shared with the writer thread.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  std::deque<std::string> queue_;
  std::vector<std::string> spare_;  // written blocks, for reuse
  size_t queued_ = 0;
  size_t peakQueued_ = 0;
  bool writing_ = false;
  bool stop_ = false;
  int writeError_ = 0;
  std::thread writer_;
};

// The names of a run's files (name_n.ext, or its partial, for n from 1 to `files`) that are
// already in `directory`, in order of n; read from one listing of the folder, whatever F is.
std::vector<std::string> ExistingLogFiles(const std::string& directory, const std::string& name,
                                          int64_t files, const LogFormat& format);

// Why `name` cannot name log files that the program reads back ("" when it can): a "/" or a
// NUL, "." or "..", the file's separator, a line break or another control character.
std::string LogNameProblem(const std::string& name, const LogFormat& format);

}  // namespace vexa::datalog
