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
// When the file's last sample has been taken the writer drains, and the file is published from
// the descriptor the run wrote through, never by opening a name again: the header's end
// seconds, date and time are written over the partial's own header (or, when the complete header
// is longer or shorter than the partial's, the file is copied once from that descriptor into a
// new file), synced, and the file itself is linked to its own name (a file of that name is
// replaced only when the run was allowed to replace it), the folder synced, and the partial's
// name removed if it is still this file's. A file swapped in at the partial's name is never
// published, and publishing needs no room beyond the file.
//
// Once a second while the run goes (and between samples, however long the sample delay) the
// sink checks that the partial still has its name in its folder and that the writer keeps up:
// a file whose name has gone (its folder removed) or been taken ends the run, and so does
// a sample that has waited ten seconds for the disk (TooSlow).
//
// Before the first sample, beginRun takes a lock on the run's names (a hidden lock file beside
// them, .DATALOG.csv.lock, holding the pid of its run; never another file linked there), which
// also shows a folder that cannot be written, checks the room left on the disk and that every
// file's name fits the file system, refuses names that are taken (a file or a partial of any n
// up to F) unless the plan allows replacing them (never a folder), and removes the hidden
// temporary files a run killed while publishing left of the same names.

#include <sys/types.h>
#include <chrono>
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
  double checkSeconds = 1.0;             // the partial's name is checked this often
  double stallSeconds = 10.0;            // a sample waiting this long for the disk: too slow
  // ... and waiting at least this long in real time as well: on virtual time (a simulation, the
  // tests) the run's clock outruns the disk's, and a moment's wait is no stalled disk.
  double stallRealSeconds = 2.0;
  size_t copyBytes = 1024 * 1024;  // the piece in which a file is copied when it must be
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
  bool idle() override;
  bool endFile(const LogHeader& header, std::string& path) override;
  const SinkFailure& failure() const override { return failure_; }

  // The most bytes that waited for the writer at once; for measurements.
  size_t peakQueuedBytes() const;
  // Waits until the writer has written what it was given; for measurements and tests.
  void waitUntilWritten();

 private:
  void fail(SinkFailureKind kind, const std::string& cause, const std::string& message);
  void handOver();
  // The checks due between samples: blocks by age, the periodic sync, the partial's name, a
  // stalled writer. False once the run must end.
  bool keepUp();
  bool checkName();
  bool lockRunNames(const std::string& first);
  bool checkNames(const std::string& first);
  void removeLeftovers();
  void writerLoop();
  // Waits until the writer has written all it was given, and takes the file from it.
  int takeFileFromWriter();
  bool publish(int fd, const LogHeader& header, std::string& path);
  // The file under `target`; false with errno set. EEXIST when it is taken and may not be replaced.
  bool giveName(int fd, const std::string& named, const std::string& target);
  std::string tooSlowText() const;
  // Whether the partial's name still leads to the file this run created.
  bool partialIsOurs() const;
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
  dev_t device_ = 0;
  ino_t inode_ = 0;
  size_t partialHeaderBytes_ = 0;
  int64_t samples_ = 0;
  std::string block_;
  double blockStartedAt_ = -1;
  double checkedAt_ = 0;
  double syncAskedAt_ = 0;

  // Shared with the writer thread.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  struct Block {
    std::string bytes;
    double startedAt;  // when its first line was taken, on the run's clock
    std::chrono::steady_clock::time_point handedAt;  // when it was handed over, in real time
  };
  std::deque<Block> queue_;
  double writingStartedAt_ = -1;  // of the block being written; -1 when none
  std::chrono::steady_clock::time_point writingHandedAt_;
  bool syncWanted_ = false;
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
