#pragma once

// A log run: samples the selected output registers S times per file for F files and hands each
// sample to its sink (sample_sink.h), by default the streaming file writer (log_file_sink.h),
// which never makes the run wait for the disk. The datalog window and `vexa-cli log` both run
// it; tests drive it on virtual time.
//
// Before the first sample the sink may refuse the run (names taken or locked, folder not
// writable, disk full). Per file n: start the file in the sink; tell the host; let the window
// system run; take the begin seconds; then per sample s: read the selected channels
// (SampleReader), and if the transport was lost during the read, end the run before that
// sample, whose values would be what the failure left behind; else hand the sample to the sink,
// wait the sample delay (SampleWait), let the window system run, ask the host whether to stop.
// Then take the end seconds, the date and the time and have the sink keep the file whole; tell
// the host. File n+1 is started only after file n is kept.
//
// Seams for what builds on the run:
//  - SampleReader is the one step that reads one sample's selected channels into values; a
//    reader that fetches them in one pipelined exchange replaces the default (ReadRegister per
//    channel, in table order) with LogRun::setSampleReader.
//  - SampleWait is the one step that waits after a sample (default DelayMs).
//  - SampleGate, when set, runs before each sample and may end the run there (a wait for the
//    sensor's next sample that ran out).
//  - LogHost is where the run meets its caller: cancel, the file number, progress, files done.
//  - The file layout (header lines, titles, number forms, separators) is log_file_format.h.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QLocale>

#include "app/app_context.h"
#include "datalog/log_file_format.h"
#include "datalog/log_sample.h"
#include "datalog/sample_sink.h"

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
  // Files of the run's names already in the folder may be replaced (the user agreed); without
  // it the run refuses to start when any is there.
  bool replaceExisting = false;
};

// Reads the selected channels of one sample into `values` (one reading per channel, in order).
using SampleReader =
    std::function<void(AppContext& ctx, const ChannelList& channels, SampleValues& values)>;
// Waits after a sample.
using SampleWait = std::function<void(AppContext& ctx, float delayMs)>;
// Runs before each sample; false ends the run before that sample (the gate has said why).
using SampleGate = std::function<bool(AppContext& ctx, const ChannelList& channels)>;

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
  // A file has been kept whole under its name.
  virtual void fileWritten(const std::string& /*path*/) {}
};

enum class LogOutcome {
  Completed,      // all F files written
  Cancelled,      // the host asked to stop; the current file was written with its samples
  Refused,        // the sink refused the run before its first sample (names, folder, disk)
  OpenFailed,     // a file could not be opened (or its name would leave the folder)
  WriteFailed,    // a file that opened could not be written or kept
  DiskTooSlow,    // the samples came faster than the disk took them; those taken were written
  NoSample,       // the sample gate ended the run; the samples taken were written
  TransportLost,  // the transport failed during a sample; the samples read before were written
};

struct LogResult {
  LogOutcome outcome = LogOutcome::Completed;
  std::vector<std::string> filesWritten;  // full paths, in order
  int64_t samplesTaken = 0;               // over the whole run
  // When the transport failed: where and what it cost, in one sentence for the window's result
  // line and the command line's standard error (other failures have had their message box).
  std::string endedEarly;
};

class LogRun {
 public:
  LogRun(AppContext& ctx, LogSettings settings, LogHost& host);

  void setSampleReader(SampleReader reader) { reader_ = std::move(reader); }
  void setSampleWait(SampleWait wait) { wait_ = std::move(wait); }
  void setSampleGate(SampleGate gate) { gate_ = std::move(gate); }
  // Where the samples go instead of the log files (not owned; it must outlive run()).
  void setSink(SampleSink& sink) { sink_ = &sink; }

  // Runs to the end. Failures have been shown through the message service when it returns.
  LogResult run();

 private:
  // The sample delay, in pieces of at most kIdleSeconds with the sink's idle() between them, so
  // that a long delay neither keeps a taken sample from the disk nor hides a failing file.
  bool waitBetweenSamples(SampleSink& sink, float delayMs);
  AppContext& ctx_;
  LogSettings settings_;
  LogHost& host_;
  SampleReader reader_ = ReadSampleByRegister;
  SampleWait wait_ = WaitSampleDelay;
  SampleGate gate_;
  SampleSink* sink_ = nullptr;
};

// The text of the message shown when file `fileName` (name_n.ext) cannot be opened.
std::string FileAccessErrorText(const std::string& fileName);

// The folder log files go to: the program's own folder when it may write there (a build tree),
// else the working folder (an installed program). A program in a system folder (/usr, /bin,
// /sbin, /lib, /lib64, /opt, /etc, /snap) counts as installed even when run by root. Paths are
// joined with "/".
std::string LogDirectory(AppContext& ctx);
bool IsSystemFolder(const std::string& folder);

}  // namespace vexa::datalog
