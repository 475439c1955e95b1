#include "datalog/log_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/number_format.h"
#include "sim/sim_parallel_port.h"
#include "registers/register_file_slave.h"
#include "support/sim_world.h"

namespace vexa::datalog {
namespace {

namespace fs = std::filesystem;

const QLocale kPoint(QLocale::English, QLocale::UnitedStates);
const QLocale kComma(QLocale::German, QLocale::Germany);

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Lines of a log file without their CR LF; a line without CR LF is kept with a marker.
std::vector<std::string> crlfLines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      out.push_back("<no CR LF>" + text.substr(start));
      break;
    }
    out.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

// Stops the run at the chosen sample of the chosen file; notes what the host was told.
class TestHost : public LogHost {
 public:
  bool cancelRequested() override { return file_ == cancelFile && sample_ == cancelSample; }
  void fileStarted(int64_t file) override {
    started.push_back(file);
    file_ = file;
  }
  void progress(const LogProgress& p) override {
    sample_ = p.sample;
    last = p;
  }
  void fileWritten(const std::string& path) override { written.push_back(path); }

  int64_t cancelFile = -1;
  int64_t cancelSample = -1;
  std::vector<int64_t> started;
  std::vector<std::string> written;
  LogProgress last;

 private:
  int64_t file_ = 0;
  int64_t sample_ = 0;
};

// A run over the simulated parallel port to a register file that answers fixed words.
class LogRunTest : public ::testing::Test {
 protected:
  LogRunTest() {
    world.ctx.platform.port = &port;
    port.attach(&sensor);
    world.ctx.settings.Interface = kInterfaceParallel;
    world.ctx.settings.PortAddress = 0x378;
    settings.directory = world.folder();
    settings.locale = kPoint;
  }

  void answer(int16_t index, uint16_t word) {
    sensor.words[static_cast<uint8_t>(world.ctx.registers.BaseAddr[index] & 0x7F)] = word;
  }
  LogResult run() {
    LogRun r(world.ctx, settings, host);
    return r.run();
  }
  std::string file(const std::string& name) const { return slurp(world.folder() + "/" + name); }
  bool exists(const std::string& name) const { return fs::exists(world.folder() + "/" + name); }

  testing::SimWorld world;
  testing::RegisterFileSlave sensor;
  sim::SimParallelPort port{0x378};
  LogSettings settings;
  TestHost host;
};

TEST_F(LogRunTest, FileByteForByteInPointAndCommaLocales) {
  const struct {
    QLocale locale;
    LogUnits units;
    const char* name;
    const char* text;
  } cases[] = {
      {kPoint, LogUnits::Scaled, "DATALOG_1.csv",
       "File Name,DATALOG_1.csv\r\nDate,07/12/2026\r\nTime,10:00:00\r\n"
       "Begin Seconds,36000\r\nEnd Seconds,36000.01\r\n \r\n"
       "Sample #,PvND,Power V,XgND,X Gryo,TND,Temp,\r\n"
       "1,1,4.835164,1,-0.04999621,0,-225.0951,\r\n"
       "2,0,4.835164,0,-0.04999621,0,-225.0951,\r\n"},
      {kComma, LogUnits::Scaled, "DATALOG_1.txt",
       "File Name\tDATALOG_1.txt\r\nDate\t07/12/2026\r\nTime\t10:00:00\r\n"
       "Begin Seconds\t36000\r\nEnd Seconds\t36000,01\r\n \r\n"
       "Sample #\tPvND\tPower V\tXgND\tX Gryo\tTND\tTemp\t\r\n"
       "1\t1\t4,835164\t1\t-0,04999621\t0\t-225,0951\t\r\n"
       "2\t0\t4,835164\t0\t-0,04999621\t0\t-225,0951\t\r\n"},
      {kPoint, LogUnits::Lsb, "DATALOG_1.csv",
       "File Name,DATALOG_1.csv\r\nDate,07/12/2026\r\nTime,10:00:00\r\n"
       "Begin Seconds,36000\r\nEnd Seconds,36000.01\r\n \r\n"
       "Sample #,PvND,Power V,XgND,X Gryo,TND,Temp,\r\n"
       "1,1,2000,1,-1,0,-1843,\r\n"
       "2,0,2000,0,-1,0,-1843,\r\n"},
  };
  for (const auto& c : cases) {
    for (const auto& entry : fs::directory_iterator(world.folder())) fs::remove(entry.path());
    world.clock = sim::SimClock(36000.0);
    // TEMP_OUT, 12-bit two's complement: 0x8CD is -1843, scaled -1843 * 0.1357 + 25.
    answer(SUPPLY_OUT, 0x8000 | 2000);
    answer(XGYRO_OUT, 0x8000 | 0x3FFF);
    answer(TEMP_OUT, 0x1000 - 1843);
    world.ui.onProcessEvents = [this] {
      // From the second sample on, no register has new data.
      if (world.ui.eventPasses == 2) {
        answer(SUPPLY_OUT, 2000);
        answer(XGYRO_OUT, 0x3FFF);
      }
    };
    world.ui.eventPasses = 0;
    settings.locale = c.locale;
    settings.units = c.units;
    settings.samplesPerFile = 2;
    settings.sampleDelayMs = 5;
    settings.channels = {TEMP_OUT, XGYRO_OUT, SUPPLY_OUT, XGYRO_OUT};  // any order, repeats
    // Two samples 5 ms apart plus their frames, on a clock that ticks every 10 ms.
    world.clock.setTick(0.01);
    const LogResult result = run();
    EXPECT_EQ(result.outcome, LogOutcome::Completed);
    EXPECT_EQ(result.filesWritten, std::vector<std::string>{world.folder() + "/" + c.name});
    EXPECT_EQ(file(c.name), c.text) << c.name;
  }
}

TEST_F(LogRunTest, EachFileHasItsOwnHeaderAndStartsAfterThePreviousIsClosed) {
  settings.samplesPerFile = 3;
  settings.filesPerSession = 3;
  settings.channels = {ZACCL_OUT};
  settings.sampleDelayMs = 100;
  // When file n+1 is started, file n must be complete on disk.
  std::vector<size_t> previousLines;
  world.ui.onProcessEvents = [&] {
    if (host.started.size() > 1 && previousLines.size() < host.started.size() - 1) {
      const auto name = "DATALOG_" + std::to_string(host.started.size() - 1) + ".csv";
      previousLines.push_back(crlfLines(file(name)).size());
    }
  };
  const LogResult result = run();
  EXPECT_EQ(result.outcome, LogOutcome::Completed);
  EXPECT_EQ(result.samplesTaken, 9);
  EXPECT_EQ(host.started, (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(previousLines, (std::vector<size_t>{10, 10}));
  float previousEnd = 0;
  for (int n = 1; n <= 3; ++n) {
    const std::string name = "DATALOG_" + std::to_string(n) + ".csv";
    const auto lines = crlfLines(file(name));
    ASSERT_EQ(lines.size(), 10u) << name;
    EXPECT_EQ(lines[0], "File Name," + name);
    EXPECT_EQ(lines[6], "Sample #,ZaND,Z acc,");
    for (int s = 1; s <= 3; ++s) EXPECT_EQ(lines[6 + s].substr(0, 2), std::to_string(s) + ",");
    const float begin = std::stof(lines[3].substr(lines[3].find(',') + 1));
    const float end = std::stof(lines[4].substr(lines[4].find(',') + 1));
    EXPECT_GE(begin, previousEnd) << name;
    EXPECT_NEAR(end - begin, 0.3, 0.01) << name << ": three samples 100 ms apart";
    previousEnd = end;
  }
  EXPECT_EQ(host.last.fraction, 1.0);
  EXPECT_EQ(host.last.secondsLeft, 0.0);
}

TEST_F(LogRunTest, CancelWritesTheCurrentFileWithExactlyTheSamplesTaken) {
  const struct { int64_t file, sample; } cases[] = {{1, 1}, {1, 4}, {2, 2}};
  settings.samplesPerFile = 5;
  settings.filesPerSession = 3;
  settings.channels = {XGYRO_OUT};
  for (const auto& c : cases) {
    for (const auto& entry : fs::directory_iterator(world.folder())) fs::remove(entry.path());
    host = TestHost();
    host.cancelFile = c.file;
    host.cancelSample = c.sample;
    const LogResult result = run();
    EXPECT_EQ(result.outcome, LogOutcome::Cancelled);
    const auto cancelled = crlfLines(file("DATALOG_" + std::to_string(c.file) + ".csv"));
    ASSERT_EQ(cancelled.size(), 7u + c.sample) << "file " << c.file << " sample " << c.sample;
    EXPECT_EQ(cancelled.back().substr(0, 2), std::to_string(c.sample) + ",");
    if (c.file > 1) {
      EXPECT_EQ(crlfLines(file("DATALOG_1.csv")).size(), 12u);
    }
    EXPECT_FALSE(exists("DATALOG_" + std::to_string(c.file + 1) + ".csv"));
  }
}

TEST_F(LogRunTest, NameThatWouldLeaveTheFolderIsRefused) {
  fs::create_directory(world.folder() + "/inner");
  settings.directory = world.folder() + "/inner";
  settings.channels = {XGYRO_OUT};
  for (const std::string name : {"../escaped", "sub/name", ".", ".."}) {
    world.messages.shown.clear();
    settings.fileName = name;
    const LogResult result = run();
    EXPECT_EQ(result.outcome, LogOutcome::Refused) << name;
    ASSERT_EQ(world.messages.shown.size(), 1u) << name;
    EXPECT_EQ(world.messages.shown[0].text, FileAccessErrorText(name + "_1.csv"));
  }
  EXPECT_FALSE(exists("escaped_1.csv"));
  EXPECT_TRUE(fs::is_empty(world.folder() + "/inner"));
}

TEST_F(LogRunTest, RunAcrossMidnightEndsWithSmallerSeconds) {
  world.clock = sim::SimClock(86399.9);
  settings.samplesPerFile = 4;
  settings.sampleDelayMs = 50;
  settings.channels = {XGYRO_OUT};
  run();
  const auto lines = crlfLines(file("DATALOG_1.csv"));
  EXPECT_EQ(lines[3], "Begin Seconds,86399.9");
  const float end = std::stof(lines[4].substr(lines[4].find(',') + 1));
  EXPECT_LT(end, 1.0f);
  EXPECT_EQ(lines[2], "Time,00:00:00") << "taken when the header is written";
}

TEST_F(LogRunTest, PerSampleStepsCanBeReplaced) {
  settings.samplesPerFile = 3;
  settings.sampleDelayMs = 0.005f;
  settings.channels = {AUX_ADC, SUPPLY_OUT};
  std::vector<float> waits;
  LogRun r(world.ctx, settings, host);
  r.setSampleReader([](AppContext&, const ChannelList& channels, SampleValues& values) {
    ASSERT_EQ(channels, (ChannelList{SUPPLY_OUT, AUX_ADC}));
    values = {{kNewDataBit, 7, 0.5f}, {0, -3, 1e-5f}};
  });
  r.setSampleWait([&](AppContext&, float ms) { waits.push_back(ms); });
  r.run();
  EXPECT_EQ(crlfLines(file("DATALOG_1.csv")).at(9), "3,1,0.5,0,1E-05,");
  EXPECT_EQ(waits, std::vector<float>(3, 0.005f));
  EXPECT_EQ(sensor.frames.size(), 0u);
}

TEST(LogFormat, DataLinesCarryTheProgramsNumberForms) {
  // Values that come back, values that share a slot of the writer's memory, exponent forms.
  const float rare[] = {0.0f, -0.0f, 1e-5f, 0.0001f, 9999999, 12345678, 3.4e38f, -1.17e-38f};
  std::mt19937 random(7);
  std::uniform_int_distribution<int> raw(-8192, 8191);
  for (const QLocale& locale : {kPoint, kComma}) {
    const LogFormat format = LogFormat::forLocale(locale);
    const std::string d(1, format.separator);
    SampleLineWriter writer(format);
    for (LogUnits units : {LogUnits::Scaled, LogUnits::Lsb}) {
      for (int s = 1; s <= 3000; ++s) {
        SampleValues values(4);
        std::string expected = std::to_string(s) + d;
        for (size_t i = 0; i < values.size(); ++i) {
          ChannelReading& v = values[i];
          v.raw = s % 3 == 0 ? raw(random) : raw(random) % 8;
          v.scaled = i == 3 ? rare[s % 8] : static_cast<float>(v.raw) * 0.049996212f + (s % 2) * 25;
          v.newData = (v.raw & 1) * kNewDataBit;
          expected +=
              (v.raw & 1 ? "1" : "0") + d +
              (units == LogUnits::Lsb ? std::to_string(v.raw) : GeneralNumber(v.scaled, locale)) +
              d;
        }
        std::string written;
        writer.append(written, s, values, units);
        ASSERT_EQ(written, expected + "\r\n") << s;
      }
    }
  }
}

TEST(LogDirectory, ProgramFolderWhenWritableElseWorkingFolder) {
  testing::SimWorld world;
  EXPECT_EQ(LogDirectory(world.ctx), world.folder());
  for (const char* program : {"/nonexistent/vexa/bin", "/usr/bin", "/opt/vexa/bin"}) {
    sim::FixedPaths installed(world.folder(), program);  // /usr/bin is writable for root
    world.ctx.platform.paths = &installed;
    EXPECT_EQ(LogDirectory(world.ctx), world.folder()) << program;
  }
  EXPECT_FALSE(IsSystemFolder("/usrlocal/build"));
  sim::FixedPaths buildTree("/nonexistent/work", world.folder());
  world.ctx.platform.paths = &buildTree;
  EXPECT_EQ(LogDirectory(world.ctx), world.folder());
}

}  // namespace
}  // namespace vexa::datalog
