#include "datalog/log_file_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "datalog/log_run.h"
#include "sim/sim_parallel_port.h"
#include "registers/register_file_slave.h"
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
      {FaultyFileOps::Create, 0, EACCES, false}, {FaultyFileOps::Sync, 0, EIO, false},
      {FaultyFileOps::Close, 0, EIO, false},     {FaultyFileOps::Rename, 0, ENOENT, false},
      {FaultyFileOps::SyncFolder, 0, EIO, true},
  };
  settings.samplesPerFile = 40;
  settings.replaceExisting = true;
  StreamLimits limits;
  limits.syncSeconds = 1e9;  // no syncs of the writer's own: the calls are the same every run
  const auto runOnce = [&] {
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

// Writes that stay stuck fill the queue: the run ends rather than holding ever more, and the
// file keeps every sample taken once the disk has them.
TEST_F(LogFileSinkTest, ADiskThatCannotKeepUpEndsTheRunAndKeepsTheSamples) {
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
  } disk;
  // Lets the disk move once the run has given up, as a slow disk would in the end.
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
