#include "datalog/log_file_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "datalog/log_run.h"
#include "registers/register_file_slave.h"
#include "sim/sim_parallel_port.h"
#include "support/faulty_file_ops.h"
#include "support/file_lines.h"
#include "support/sim_world.h"

namespace vexa::datalog {
namespace {

namespace fs = std::filesystem;
using testing::FaultyFileOps;
using testing::fileLines;

class NoCancel : public LogHost {
 public:
  bool cancelRequested() override { return false; }
  void progress(const LogProgress& p) override {
    if (onSample) onSample(p);
  }
  std::function<void(const LogProgress&)> onSample;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Whether the data lines of a log (from line 8) are the samples 1, 2, 3, ... each whole.
bool consecutiveSamples(const std::vector<std::string>& lines, size_t& samples) {
  samples = 0;
  for (size_t i = kHeaderLineCount; i < lines.size(); ++i) {
    if (lines[i].rfind(std::to_string(samples + 1) + ",", 0) != 0) return false;
    if (std::count(lines[i].begin(), lines[i].end(), ',') != 3) return false;
    ++samples;
  }
  return true;
}

// A run over the simulated parallel port to a register file, its files through `files`.
class LogFileSinkTest : public ::testing::Test {
 protected:
  LogFileSinkTest() {
    world.ctx.platform.port = &port;
    world.ctx.platform.files = &files;
    port.attach(&sensor);
    world.ctx.settings.Interface = kInterfaceParallel;
    world.ctx.settings.PortAddress = 0x378;
    settings.directory = world.folder();
    settings.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    settings.channels = {XGYRO_OUT};
    settings.sampleDelayMs = 100;  // a block goes to the writer every few samples
  }
  LogResult run() {
    world.messages.shown.clear();
    LogRun r(world.ctx, settings, host);
    if (sink != nullptr) r.setSink(*sink);
    return r.run();
  }
  std::string path(const std::string& name) const { return world.folder() + "/" + name; }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(world.folder()))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  void clearFolder() {
    for (const auto& e : fs::directory_iterator(world.folder())) fs::remove_all(e.path());
  }

  testing::SimWorld world;
  testing::RegisterFileSlave sensor;
  sim::SimParallelPort port{0x378};
  FaultyFileOps files;
  LogSettings settings;
  NoCancel host;
  SampleSink* sink = nullptr;
};

// The last call of each operation in a run of one file is part of publishing the file; a write
// early in the run is part of streaming. Each failure is reported, the earlier file of the name
// stays as it was until a complete file replaces it, and the samples are in the partial.
TEST_F(LogFileSinkTest, EachFailingFileOperationIsReportedAndLosesNothing) {
  const struct {
    FaultyFileOps::Op op;
    int n;  // 0: the last call of a clean run
    int error;
    bool published;  // the new file replaced the earlier one before the failure
  } cases[] = {
      {FaultyFileOps::Write, 3, EIO, false},     {FaultyFileOps::Write, 0, ENOSPC, false},
      {FaultyFileOps::Sync, 0, EIO, false},      {FaultyFileOps::Link, 0, EIO, false},
      {FaultyFileOps::Rename, 0, ENOENT, false}, {FaultyFileOps::SyncFolder, 0, EIO, true},
  };
  settings.samplesPerFile = 40;
  settings.replaceExisting = true;
  StreamLimits limits;
  limits.syncSeconds = 1e9;  // no syncs of the writer's own: the calls are the same every run
  const auto runOnce = [&] {
    world.clock = sim::SimClock();  // the same times, so the same calls, in every run
    LogFileSink files(this->files, world.clock, limits);
    sink = &files;
    const LogResult r = run();
    sink = nullptr;
    return r;
  };
  runOnce();
  int clean[FaultyFileOps::kOps];
  for (int op = 0; op < FaultyFileOps::kOps; ++op)
    clean[op] = files.calls(static_cast<FaultyFileOps::Op>(op));
  ASSERT_GT(clean[FaultyFileOps::Write], 6) << "the samples went out in blocks";

  for (const auto& c : cases) {
    const std::string label = std::to_string(c.op) + "/" + std::to_string(c.n);
    clearFolder();
    { std::ofstream(path("DATALOG_1.csv"), std::ios::binary) << "an earlier file\n"; }
    files.reset();
    files.failAt(c.op, c.n > 0 ? c.n : clean[c.op], c.error);
    const LogResult result = runOnce();
    EXPECT_EQ(result.outcome, LogOutcome::WriteFailed) << label;
    EXPECT_TRUE(result.filesWritten.empty()) << label;
    ASSERT_EQ(world.messages.shown.size(), 1u) << label;
    EXPECT_NE(world.messages.shown[0].text.find("FILE WRITE ERROR"), std::string::npos) << label;
    EXPECT_NE(world.messages.shown[0].text.find(std::strerror(c.error)), std::string::npos)
        << label << world.messages.shown[0].text;
    EXPECT_NE(world.messages.shown[0].text.find("DATALOG_1.csv.partial"), std::string::npos)
        << label;
    EXPECT_EQ(names(), (std::vector<std::string>{"DATALOG_1.csv", "DATALOG_1.csv.partial"}))
        << label << ": no temporary file left";
    size_t samples = 0;
    EXPECT_TRUE(consecutiveSamples(fileLines(path("DATALOG_1.csv.partial")), samples)) << label;
    if (c.n == 0) {
      EXPECT_EQ(samples, 40u) << label;
    }
    EXPECT_LE(samples, static_cast<size_t>(result.samplesTaken)) << label;
    if (c.published) {
      EXPECT_EQ(fileLines(path("DATALOG_1.csv")).size(), 47u) << label;
    } else {
      EXPECT_EQ(slurp(path("DATALOG_1.csv")), "an earlier file\n") << label;
    }
  }
}

// Names taken by an earlier file, a partial or a link refuse the run before its first sample
// and stay as they were; a run that may replace them replaces the name itself, never what a
// link points at.
TEST_F(LogFileSinkTest, TakenNamesRefuseTheRunUnlessReplacedAndLinksAreNeverFollowed) {
  const std::string outside = world.folder() + "-outside";
  settings.samplesPerFile = 3;
  settings.filesPerSession = 2;
  const struct {
    const char* name;
    const char* kind;  // "file", "partial" or "link" (to a file outside the folder)
  } cases[] = {{"DATALOG_2.csv", "file"},
               {"DATALOG_1.csv.partial", "file"},
               {"DATALOG_2.csv", "link"},
               {"DATALOG_1.csv.partial", "link"},
               {"DATALOG_1.csv", "dangling"}};
  for (const auto& c : cases) {
    for (bool replace : {false, true}) {
      const std::string label = std::string(c.name) + " " + c.kind + (replace ? " replaced" : "");
      clearFolder();
      fs::remove(outside);
      const std::string kind = c.kind;
      if (kind == "file")
        std::ofstream(path(c.name)) << "kept\n";
      else {
        if (kind == "link") std::ofstream(outside) << "kept\n";
        fs::create_symlink(outside, path(c.name));
      }
      settings.replaceExisting = replace;
      const LogResult result = run();
      if (!replace) {
        EXPECT_EQ(result.outcome, LogOutcome::Refused) << label;
        EXPECT_EQ(result.samplesTaken, 0) << label;
        EXPECT_EQ(names(), std::vector<std::string>{c.name}) << label;
        ASSERT_EQ(world.messages.shown.size(), 1u) << label;
        EXPECT_NE(world.messages.shown[0].text.find("File name = " + std::string(c.name)),
                  std::string::npos)
            << label;
      } else {
        EXPECT_EQ(result.outcome, LogOutcome::Completed) << label;
        EXPECT_EQ(names(), (std::vector<std::string>{"DATALOG_1.csv", "DATALOG_2.csv"})) << label;
        for (const char* name : {"DATALOG_1.csv", "DATALOG_2.csv"}) {
          EXPECT_FALSE(fs::is_symlink(path(name))) << label;
          EXPECT_EQ(fileLines(path(name)).size(), 10u) << label;
        }
      }
      if (kind == "file" && !replace) {
        EXPECT_EQ(slurp(path(c.name)), "kept\n") << label;
      }
      if (kind == "link") {
        EXPECT_EQ(slurp(outside), "kept\n") << label;
      }
      if (kind == "dangling") {
        EXPECT_FALSE(fs::exists(outside)) << label;
      }
    }
  }
  fs::remove(outside);
}

// A second run of the same names in the same folder is refused at its start, naming the first.
TEST_F(LogFileSinkTest, ARunOfTheSameNamesIsRefusedWhileAnotherHoldsThem) {
  LogFileSink first(files, world.clock);
  LogRunPlan plan;
  plan.directory = world.folder();
  plan.fileName = "DATALOG";
  plan.channels = {XGYRO_OUT};
  ASSERT_TRUE(first.beginRun(plan));
  const LogResult result = run();
  EXPECT_EQ(result.outcome, LogOutcome::Refused);
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_NE(world.messages.shown[0].text.find("process " + std::to_string(::getpid())),
            std::string::npos)
      << world.messages.shown[0].text;
  settings.fileName = "OTHER";  // other names are free
  EXPECT_EQ(run().outcome, LogOutcome::Completed);
}

// A folder that cannot be written (here: gone) shows before the first sample.
TEST_F(LogFileSinkTest, AFolderThatCannotBeWrittenRefusesTheRunBeforeItsFirstSample) {
  settings.directory = world.folder() + "/missing";
  const LogResult result = run();
  EXPECT_EQ(result.outcome, LogOutcome::Refused);
  EXPECT_EQ(result.samplesTaken, 0);
  EXPECT_EQ(sensor.frames.size(), 0u);
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_NE(world.messages.shown[0].text.find("FILE ACCESS ERROR"), std::string::npos);
  EXPECT_NE(world.diagnostics.lastCause().find("No such file or directory"), std::string::npos);
}

// The samples are on disk while the run goes, within about a second of being taken.
TEST_F(LogFileSinkTest, SamplesReachTheDiskWithinASecondWhileTheRunGoes) {
  settings.samplesPerFile = 100;
  size_t behind = 0;
  host.onSample = [&](const LogProgress& p) {
    if (p.sample < 20 || p.sample % 10 != 0) return;
    // The writer is a thread of its own: give it a moment of real time to write what it has.
    size_t samples = 0;
    for (int i = 0; i < 500; ++i) {
      consecutiveSamples(fileLines(path("DATALOG_1.csv.partial")), samples);
      if (static_cast<int64_t>(samples) + 10 >= p.sample) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    behind = std::max(behind, static_cast<size_t>(p.sample) - samples);
  };
  EXPECT_EQ(run().outcome, LogOutcome::Completed);
  EXPECT_LE(behind, 10u) << "100 ms a sample: at most a second behind";
  EXPECT_EQ(names(), std::vector<std::string>{"DATALOG_1.csv"});
}

// A disk whose writes wait until released, and a sink that releases it when the file ends: a
// disk that stalls and, in the end, moves again.
class StuckDisk : public FaultyFileOps {
 public:
  ssize_t write(int fd, const void* data, size_t length) override {
    std::unique_lock<std::mutex> lock(m);
    moving.wait(lock, [this] { return released; });
    return FaultyFileOps::write(fd, data, length);
  }
  void release() {
    std::lock_guard<std::mutex> lock(m);
    released = true;
    moving.notify_all();
  }
  std::mutex m;
  std::condition_variable moving;
  bool released = false;
};
class ReleasingSink : public LogFileSink {
 public:
  ReleasingSink(StuckDisk& disk, Clock& clock, StreamLimits limits)
      : LogFileSink(disk, clock, limits), disk_(disk) {}
  bool endFile(const LogHeader& header, std::string& path) override {
    disk_.release();
    return LogFileSink::endFile(header, path);
  }
  StuckDisk& disk_;
};

// Writes that stay stuck fill the queue: the run ends rather than holding ever more, and the
// file keeps every sample taken once the disk has them.
TEST_F(LogFileSinkTest, ADiskThatCannotKeepUpEndsTheRunAndKeepsTheSamples) {
  StuckDisk disk;
  StreamLimits limits;
  limits.blockBytes = 64;
  limits.queueBytes = 4096;
  ReleasingSink stuck(disk, world.clock, limits);
  sink = &stuck;
  settings.samplesPerFile = 100000;
  settings.sampleDelayMs = 0;
  const LogResult result = run();
  EXPECT_EQ(result.outcome, LogOutcome::DiskTooSlow);
  EXPECT_GT(result.samplesTaken, 10);
  EXPECT_LT(result.samplesTaken, 1000);
  EXPECT_LE(stuck.peakQueuedBytes(), limits.queueBytes + limits.blockBytes + 200);
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_NE(world.messages.shown[0].text.find("DISK TOO SLOW"), std::string::npos);
  size_t samples = 0;
  EXPECT_TRUE(consecutiveSamples(fileLines(path("DATALOG_1.csv")), samples));
  EXPECT_EQ(static_cast<int64_t>(samples), result.samplesTaken);
}

// A file renamed over the partial during the run is never published as the run's data: the run
// ends within two seconds, naming the cause, and the published file holds the samples taken.
TEST_F(LogFileSinkTest, AFileSwappedInAtThePartialsNameIsNeverPublished) {
  settings.samplesPerFile = 200;  // 100 ms a sample: 20 s
  const std::string forged = "File Name,DATALOG_1.csv\r\nmade up\r\n";
  host.onSample = [&](const LogProgress& p) {
    if (p.sample != 10) return;
    std::ofstream(path("forged"), std::ios::binary) << forged;
    ASSERT_EQ(::rename(path("forged").c_str(), path("DATALOG_1.csv.partial").c_str()), 0);
  };
  const LogResult result = run();
  EXPECT_EQ(result.outcome, LogOutcome::WriteFailed);
  EXPECT_LE(result.samplesTaken, 30) << "ended within two seconds";
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_NE(world.messages.shown[0].text.find("another file took its name"), std::string::npos)
      << world.messages.shown[0].text;
  size_t samples = 0;
  EXPECT_TRUE(consecutiveSamples(fileLines(path("DATALOG_1.csv")), samples))
      << slurp(path("DATALOG_1.csv"));
  EXPECT_EQ(static_cast<int64_t>(samples), result.samplesTaken);
  EXPECT_EQ(slurp(path("DATALOG_1.csv.partial")), forged) << "the other file is left alone";
}

// A folder removed during the run ends it within two seconds, saying so, however long the run.
TEST_F(LogFileSinkTest, AFolderRemovedDuringTheRunEndsItWithinTwoSeconds) {
  settings.directory = world.folder() + "/logs";
  fs::create_directory(settings.directory);
  settings.samplesPerFile = 1000;
  host.onSample = [&](const LogProgress& p) {
    if (p.sample == 10) fs::remove_all(settings.directory);
  };
  const LogResult result = run();
  EXPECT_EQ(result.outcome, LogOutcome::WriteFailed);
  EXPECT_LE(result.samplesTaken, 30);
  ASSERT_FALSE(world.messages.shown.empty());
  EXPECT_NE(world.messages.shown[0].text.find("folder " + settings.directory + " was removed"),
            std::string::npos)
      << world.messages.shown[0].text;
}

// Another file linked at the lock's name is never cut to the lock's pid: the run is refused.
TEST_F(LogFileSinkTest, AFileLinkedAtTheLocksNameIsLeftAsItIs) {
  std::ofstream(path("OLD_1.csv"), std::ios::binary) << "an earlier log\r\n";
  ASSERT_EQ(::link(path("OLD_1.csv").c_str(), path(".DATALOG.csv.lock").c_str()), 0);
  const LogResult result = run();
  EXPECT_EQ(result.outcome, LogOutcome::Refused);
  EXPECT_EQ(result.samplesTaken, 0);
  EXPECT_EQ(slurp(path("OLD_1.csv")), "an earlier log\r\n");
  EXPECT_NE(world.diagnostics.lastCause().find("not a lock file"), std::string::npos);
}

// A file made at the final name during a run that may not replace it stays, and the run keeps
// its samples in the partial and says why it did not publish them.
TEST_F(LogFileSinkTest, AFileMadeAtTheFinalNameDuringTheRunIsKeptAndSoAreTheSamples) {
  settings.samplesPerFile = 20;
  host.onSample = [&](const LogProgress& p) {
    if (p.sample == 5) std::ofstream(path("DATALOG_1.csv"), std::ios::binary) << "theirs\n";
  };
  const LogResult result = run();
  EXPECT_EQ(result.outcome, LogOutcome::WriteFailed);
  EXPECT_TRUE(result.filesWritten.empty());
  EXPECT_EQ(slurp(path("DATALOG_1.csv")), "theirs\n");
  size_t samples = 0;
  EXPECT_TRUE(consecutiveSamples(fileLines(path("DATALOG_1.csv.partial")), samples));
  EXPECT_EQ(samples, 20u);
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_NE(world.messages.shown[0].text.find("DATALOG_1.csv.partial"), std::string::npos);
}

// The complete file is the partial with its header completed: each byte written once where the
// end's seconds, date and time are as long as the start's (else the file is copied once, from the
// descriptor), and the bytes are those a completed file has.
TEST_F(LogFileSinkTest, PublishingWritesEachByteOnceWhereTheHeaderKeepsItsLength) {
  class CountingOps : public FaultyFileOps {
   public:
    ssize_t write(int fd, const void* data, size_t length) override {
      const ssize_t n = FaultyFileOps::write(fd, data, length);
      if (n > 0) bytes += static_cast<size_t>(n);
      return n;
    }
    ssize_t writeAt(int fd, const void* data, size_t length, off_t offset) override {
      const ssize_t n = FaultyFileOps::writeAt(fd, data, length, offset);
      if (n > 0) bytes += static_cast<size_t>(n);
      return n;
    }
    std::atomic<size_t> bytes{0};
  };
  const struct {
    LogHeader end;
    double most;  // bytes written per byte of the file
  } cases[] = {
      {{"DATALOG_1.csv", "07/12/2026", "10:00:03", 36000, 36003}, 1.0},
      {{"DATALOG_1.csv", "07/12/2026", "10:00:02", 36000, 36002.5f}, 2.0},
      {{"DATALOG_1.csv", "8/12/2026", "10:00:03", 36000, 36003}, 2.0},
  };
  const std::string data = "1,1,0.5,\r\n2,0,-3,\r\n";
  const size_t partialHead = std::string(
                                 "File Name,DATALOG_1.csv\r\nDate,07/12/2026\r\nTime,10:00:00"
                                 "\r\nBegin Seconds,36000\r\nEnd Seconds,36000\r\n \r\n"
                                 "Sample #,XgND,X Gryo,\r\n")
                                 .size();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.end.date + " " + c.end.time);
    clearFolder();
    CountingOps counting;
    {
      LogFileSink sink(counting, world.clock);
      LogRunPlan plan;
      plan.directory = world.folder();
      plan.fileName = "DATALOG";
      plan.channels = {XGYRO_OUT};
      ASSERT_TRUE(sink.beginRun(plan));
      LogFileStart start;
      start.name = "DATALOG_1.csv";
      start.header = {"DATALOG_1.csv", "07/12/2026", "10:00:00", 36000, 36000};
      ASSERT_TRUE(sink.beginFile(start));
      ASSERT_TRUE(sink.addSample(1, {{32768, 100, 0.5f}}));
      ASSERT_TRUE(sink.addSample(2, {{0, -6, -3.0f}}));
      std::string published;
      ASSERT_TRUE(sink.endFile(c.end, published));
      EXPECT_EQ(published, path("DATALOG_1.csv"));
    }
    std::string seconds;
    AppendGeneral(seconds, c.end.endSeconds, LogFormat{});
    const std::string expected = "File Name,DATALOG_1.csv\r\nDate," + c.end.date + "\r\nTime," +
                                 c.end.time + "\r\nBegin Seconds,36000\r\nEnd Seconds," + seconds +
                                 "\r\n \r\nSample #,XgND,X Gryo,\r\n" + data;
    EXPECT_EQ(slurp(path("DATALOG_1.csv")), expected);
    // The partial's own header is written at the start and once more at the end.
    const double again = static_cast<double>(counting.bytes) - static_cast<double>(partialHead);
    EXPECT_LE(again, c.most * static_cast<double>(expected.size()));
    EXPECT_EQ(names(), std::vector<std::string>{"DATALOG_1.csv"});
  }
}

// Sampled by age, not by count: a sample is on disk within a second even when the next one is
// five seconds away.
TEST_F(LogFileSinkTest, ASampleIsOnDiskWithinASecondWhateverTheDelay) {
  LogFileSink files(this->files, world.clock);
  sink = &files;
  settings.samplesPerFile = 2;
  settings.sampleDelayMs = 5000;
  double takenAt = -1, onDiskAt = -1;
  LogRun r(world.ctx, settings, host);
  r.setSink(files);
  r.setSampleWait([&](AppContext& ctx, float ms) {
    if (takenAt < 0) takenAt = world.clock.monotonicSeconds();
    files.waitUntilWritten();
    size_t samples = 0;
    consecutiveSamples(fileLines(path("DATALOG_1.csv.partial")), samples);
    if (samples >= 1 && onDiskAt < 0) onDiskAt = world.clock.monotonicSeconds();
    WaitSampleDelay(ctx, ms);
  });
  EXPECT_EQ(r.run().outcome, LogOutcome::Completed);
  sink = nullptr;
  ASSERT_GE(onDiskAt, 0);
  EXPECT_LE(onDiskAt - takenAt, 1.0);
}

// A writer that hangs ends the run once its oldest sample has waited ten seconds (and, as the
// run's clock is virtual here, two seconds of real time), however little is waiting; the file then
// keeps every sample taken.
TEST_F(LogFileSinkTest, AHungDiskEndsTheRunOnceASampleHasWaitedTenSeconds) {
  StuckDisk disk;
  StreamLimits limits;
  limits.queueBytes = 4 * 1024 * 1024;  // the bound, were the age not watched, in seconds of a test
  ReleasingSink hung(disk, world.clock, limits);
  sink = &hung;
  settings.samplesPerFile = 1e9;  // 100 ms a sample, a few bytes each: far below the queue's bound
  const LogResult result = run();
  sink = nullptr;
  EXPECT_EQ(result.outcome, LogOutcome::DiskTooSlow);
  EXPECT_GE(result.samplesTaken, 100) << "ten seconds of samples";
  EXPECT_LT(hung.peakQueuedBytes(), limits.queueBytes) << "not the queue's bound";
  EXPECT_NE(world.diagnostics.lastCause().find("has waited"), std::string::npos)
      << world.diagnostics.lastCause();
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_NE(world.messages.shown[0].text.find("DISK TOO SLOW"), std::string::npos);
  size_t samples = 0;
  EXPECT_TRUE(consecutiveSamples(fileLines(path("DATALOG_1.csv")), samples));
  EXPECT_EQ(static_cast<int64_t>(samples), result.samplesTaken);
}

// The partial is synced while the run goes, once a second, not only when it is published.
TEST_F(LogFileSinkTest, ThePartialIsSyncedEverySecondWhileTheRunGoes) {
  settings.samplesPerFile = 50;  // 5 s
  ASSERT_EQ(run().outcome, LogOutcome::Completed);
  EXPECT_GE(files.calls(FaultyFileOps::Sync), 2) << "the run's own besides the last";
}

// Checks before the first sample: a name too long for the file system at the last file, a folder
// at a final name the run may replace. Neither run takes a sample or leaves a file.
TEST_F(LogFileSinkTest, NamesThatCannotBeUsedAreRefusedBeforeTheFirstSample) {
  const struct {
    const char* label;
    std::string name;
    double files;
    const char* folder;  // made at this name first, or nullptr
    const char* cause;
  } cases[] = {
      {"name of file 10 too long", std::string(241, 'a'), 10, nullptr, "longer than the"},
      {"folder at a final name", "DATALOG", 2, "DATALOG_2.csv", "is a folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    clearFolder();
    if (c.folder != nullptr) fs::create_directory(path(c.folder));
    settings.fileName = c.name;
    settings.filesPerSession = c.files;
    settings.samplesPerFile = 2;
    settings.replaceExisting = true;
    const LogResult result = run();
    EXPECT_EQ(result.outcome, LogOutcome::Refused);
    EXPECT_EQ(result.samplesTaken, 0);
    EXPECT_NE(world.diagnostics.lastCause().find(c.cause), std::string::npos)
        << world.diagnostics.lastCause();
    EXPECT_EQ(names(), c.folder != nullptr ? std::vector<std::string>{c.folder}
                                           : std::vector<std::string>{});
  }
}

// What a run killed while publishing left (a hidden file of one of its names) goes at the next
// run's start; hidden files of other names, or of another form, stay.
TEST_F(LogFileSinkTest, LeftoversOfAKilledPublishAreRemovedAtTheNextStart) {
  for (const char* name : {".DATALOG_1.csv.1a2b3c", ".DATALOG_1.csv.notours", ".OTHER_1.csv.1a2b3c",
                           ".DATALOG_1.csv.partial"})
    std::ofstream(path(name)) << "left\n";
  settings.samplesPerFile = 2;
  ASSERT_EQ(run().outcome, LogOutcome::Completed);
  EXPECT_EQ(names(), (std::vector<std::string>{".DATALOG_1.csv.notours", ".DATALOG_1.csv.partial",
                                               ".OTHER_1.csv.1a2b3c", "DATALOG_1.csv"}));
}

// A longer partial of an earlier run, replaced: nothing of it is left in the new file.
TEST_F(LogFileSinkTest, ALongerPartialReplacedLeavesNoTail) {
  std::ofstream(path("DATALOG_1.csv.partial"), std::ios::binary) << std::string(100000, 'x');
  settings.samplesPerFile = 3;
  settings.replaceExisting = true;
  ASSERT_EQ(run().outcome, LogOutcome::Completed);
  size_t samples = 0;
  EXPECT_TRUE(consecutiveSamples(fileLines(path("DATALOG_1.csv")), samples));
  EXPECT_EQ(samples, 3u);
  EXPECT_EQ(slurp(path("DATALOG_1.csv")).find('x'), std::string::npos);
}

// A sensor lost before the first sample makes no file: a header alone reads as nothing.
TEST_F(LogFileSinkTest, AFileWithoutSamplesIsNotPublished) {
  LogFileSink files(this->files, world.clock);
  LogRunPlan plan;
  plan.directory = world.folder();
  plan.fileName = "DATALOG";
  plan.channels = {XGYRO_OUT};
  ASSERT_TRUE(files.beginRun(plan));
  LogFileStart start;
  start.name = "DATALOG_1.csv";
  ASSERT_TRUE(files.beginFile(start));
  std::string published = "unchanged";
  EXPECT_TRUE(files.endFile(start.header, published));
  EXPECT_EQ(published, "");
  EXPECT_EQ(names(), std::vector<std::string>{".DATALOG.csv.lock"});
}

TEST(LogNames, NamesTheReaderCannotTakeBackAreRefused) {
  const LogFormat comma = LogFormat::forLocale(QLocale(QLocale::English));
  const LogFormat tab = LogFormat::forLocale(QLocale(QLocale::German));
  const struct {
    std::string name;
    const LogFormat& format;
    bool refused;
  } cases[] = {{"run A-1", comma, false}, {"run,A", comma, true},  {"run,A", tab, false},
               {"run\tA", tab, true},     {"run\tA", comma, true}, {"a\nb", comma, true},
               {"a\rb", tab, true},       {"a\x7f", comma, true},  {"../x", comma, true},
               {"..", comma, true},       {"Läufe", tab, false}};
  for (const auto& c : cases)
    EXPECT_EQ(!LogNameProblem(c.name, c.format).empty(), c.refused) << c.name;
}

// Where the regional decimal separator is neither a point nor a comma, the files carry a point.
TEST(LogNames, DecimalSeparatorIsAPointOrAComma) {
  const struct {
    QLocale locale;
    const char* decimal;
    char separator;
  } cases[] = {{QLocale(QLocale::Arabic, QLocale::Egypt), ".", ','},
               {QLocale(QLocale::Persian, QLocale::Iran), ".", ','},
               {QLocale(QLocale::German, QLocale::Germany), ",", '\t'},
               {QLocale(QLocale::English, QLocale::UnitedStates), ".", ','}};
  for (const auto& c : cases) {
    const LogFormat f = LogFormat::forLocale(c.locale);
    EXPECT_EQ(f.decimalPoint, c.decimal) << c.locale.name().toStdString();
    EXPECT_EQ(f.separator, c.separator) << c.locale.name().toStdString();
  }
}

}  // namespace
}  // namespace vexa::datalog
