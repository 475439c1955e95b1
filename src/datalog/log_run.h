#pragma once

// A log run: samples the selected output registers S times per file for F files and writes each
// file in one pass after its last sample, so the disk never stretches the time between samples.
// The datalog window and `vexa-cli log` both run it; tests drive it on virtual time.
//
// Per file n: open the file (created or emptied); tell the host; let the window system run;
// take the begin seconds; then per sample s: read the selected channels (SampleReader), append
// the line to the buffer, wait the sample delay (SampleWait), let the window system run, ask the
// host whether to stop. Then take the end seconds, the date and the time, write the header and
// the lines, close the file, and tell the host. File n+1 is opened only after file n is closed.
//
// Seams for what builds on the run:
//  - SampleReader is the one step that reads one sample's selected channels into values; a
//    reader that fetches them in one pipelined exchange replaces the default (ReadRegister per
//    channel, in table order) with LogRun::setSampleReader.
//  - SampleWait is the one step that waits after a sample (default DelayMs).
//  - LogHost is where the run meets its caller: cancel, the file number, progress, files done.
//  - The file layout (header lines, titles, number forms, separators) is log_file_format.h.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QLocale>

#include "app/app_context.h"
#include "datalog/line_buffer.h"
#include "datalog/log_file_format.h"
#include "datalog/log_sample.h"

namespace vexa::datalog {

inline constexpr const char* kDefaultLogName = "DATALOG";

struct LogSettings {
  double samplesPerFile = 1000;  // S, 1 .. 2147483647; a fraction takes the whole samples below it
  double filesPerSession = 1;    // F, 1 .. 2000000000
  float sampleDelayMs = 0;       // 0 .. 32000, through DelayMs
  std::string fileName = kDefaultLogName;
  LogUnits units = LogUnits::Scaled;
  ChannelList channels;   // register indices 1..12; any order, repeats ignored
  std::string directory;  // LogDirectory(ctx) unless the caller chose another
  QLocale locale;         // the regional form: separator, extension, decimal separator
};

// Reads the selected channels of one sample into `values` (one reading per channel, in order).
using SampleReader =
    std::function<void(AppContext& ctx, const ChannelList& channels, SampleValues& values)>;
// Waits after a sample.
using SampleWait = std::function<void(AppContext& ctx, float delayMs)>;

// The default reader: ReadRegister per channel, one after another, taking LastNewData, LastRaw
// and LastScaled.
void ReadSampleByRegister(AppContext& ctx, const ChannelList& channels, SampleValues& values);
// The default wait: DelayMs (0 waits not at all, a value below 0.01 waits 0.01 ms).
void WaitSampleDelay(AppContext& ctx, float delayMs);

struct LogProgress {
  int64_t sample = 0;  // the sample just taken, 1-based within its file
  double samplesPerFile = 0;
  int64_t file = 0;  // 1-based
  double files = 0;
  double samplesPerSecond = 0;  // measured over the run so far; 0 until measurable
  double secondsLeft = -1;      // -1 until the rate is known
  double fraction = 0;          // of all samples of the run, 0..1
};

// "Sample 120 of 1000 · File 2 of 3 · 815 samples/s · 0:00:05 left"
std::string ProgressText(const LogProgress& p);

class LogHost {
 public:
  virtual ~LogHost() = default;
  // Asked once per sample, after the window system has run: true makes this sample the last.
  virtual bool cancelRequested() = 0;
  // File n is open; the window system runs right after.
  virtual void fileStarted(int64_t /*file*/) {}
  // After every sample, before the events pass; the host decides how often it shows anything.
  virtual void progress(const LogProgress& /*progress*/) {}
  // A file has been written and closed.
  virtual void fileWritten(const std::string& /*path*/) {}
};

enum class LogOutcome {
  Completed,    // all F files written
  Cancelled,    // the host asked to stop; the current file was written with its samples
  OpenFailed,   // a file could not be opened (or its name would leave the folder)
  WriteFailed,  // a file that opened could not be written or closed
  OutOfMemory,  // the samples of a file no longer fit in memory; those taken were written
};

struct LogResult {
  LogOutcome outcome = LogOutcome::Completed;
  std::vector<std::string> filesWritten;  // full paths, in order
  int64_t samplesTaken = 0;               // over the whole run
};

class LogRun {
 public:
  LogRun(AppContext& ctx, LogSettings settings, LogHost& host);

  void setSampleReader(SampleReader reader) { reader_ = std::move(reader); }
  void setSampleWait(SampleWait wait) { wait_ = std::move(wait); }
  // The most memory the line buffer may take (default: whatever the system gives).
  void setBufferLimit(size_t bytes) { bufferLimit_ = bytes; }

  // Runs to the end. Failures have been shown through the message service when it returns.
  LogResult run();

  // Memory and text of the line buffer at the end of the last file; for measurements.
  size_t bufferMemoryBytes() const { return bufferMemory_; }
  size_t bufferTextBytes() const { return bufferText_; }

 private:
  AppContext& ctx_;
  LogSettings settings_;
  LogHost& host_;
  SampleReader reader_ = ReadSampleByRegister;
  SampleWait wait_ = WaitSampleDelay;
  size_t bufferLimit_ = static_cast<size_t>(-1);
  size_t bufferMemory_ = 0;
  size_t bufferText_ = 0;
};

// Whether a file name keeps its files in the log folder: no "/" (nor NUL) in it, and not "."
// or "..".
bool NameStaysInFolder(const std::string& name);

// The text of the message shown when file `fileName` (name_n.ext) cannot be opened.
std::string FileAccessErrorText(const std::string& fileName);

// The folder log files go to: the program's own folder when it may write there (a build tree),
// else the working folder (an installed program). A program in a system folder (/usr, /bin,
// /sbin, /lib, /lib64, /opt, /etc, /snap) counts as installed even when run by root. Paths are
// joined with "/".
std::string LogDirectory(AppContext& ctx);
bool IsSystemFolder(const std::string& folder);

}  // namespace vexa::datalog
