#include "cli/cli_log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "analysis/log_file.h"
#include "cli/cli.h"
#include "sim/recording_services.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

namespace fs = std::filesystem;

struct LogCli {
  int status;
  std::string out;
  std::string err;
  std::string folder;
};

std::vector<std::string> fileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << path << ": line without CR LF";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

// vexa-cli --simulate --interface usb log ARGS..., in a fresh working folder that is also the
// program's folder; the folder stays until `keep` goes.
class CliLog : public ::testing::Test {
 protected:
  LogCli log(const std::vector<std::string>& args, CliEnvironment environment = {}) {
    std::vector<std::string> all = {"--simulate", "--interface", "usb", "log"};
    all.insert(all.end(), args.begin(), args.end());
    environment.workingDirectory = keep.folder();
    std::ostringstream out, err;
    const int status = RunCli(all, out, err, environment);
    return {status, out.str(), err.str(), keep.folder()};
  }
  testing::SimWorld keep;
};

TEST(LogArguments, RefusesWhatItCannotUseWithoutClamping) {
  RegisterTable table;
  BuildRegisterTable(table);
  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{}, "log needs at least one channel"},
      {{"--samples", "0", "all"}, "--samples needs a whole number from 1 to 2147483647, not '0'"},
      {{"--samples", "3000000000", "all"}, "not '3000000000'"},
      {{"--samples", "2.5", "all"}, "not '2.5'"},
      {{"--delay", "40000", "all"}, "--delay needs milliseconds from 0 to 32000, not '40000'"},
      {{"--delay", "nan", "all"}, "not 'nan'"},
      {{"--delay", "inf", "all"}, "not 'inf'"},
      {{"--units", "volts", "all"}, "unknown units 'volts'"},
      {{"XGYRO_OFF"}, "unknown channel 'XGYRO_OFF'"},
      {{"all", "--name"}, "--name needs a value"},
      {{"all", "--fast"}, "unknown log option '--fast'"},
  };
  for (const auto& c : cases) {
    LogCommand command;
    std::string error;
    EXPECT_FALSE(ParseLogCommand(c.args, table, command, error)) << c.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST_F(CliLog, WritesTheFilesAndPrintsTheirPaths) {
  const LogCli r = log({"--samples", "3", "--files", "2", "--units", "lsb", "--name", "bench",
                        "ZGYRO_OUT", "--delay", "0.5", "supply_out", "ZGYRO_OUT"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, r.folder + "/bench_1.csv\n" + r.folder + "/bench_2.csv\n");
  EXPECT_EQ(r.err, "");
  for (int n = 1; n <= 2; ++n) {
    const auto lines = fileLines(r.folder + "/bench_" + std::to_string(n) + ".csv");
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "File Name,bench_" + std::to_string(n) + ".csv");
    EXPECT_EQ(lines[5], " ");
    EXPECT_EQ(lines[6], "Sample #,PvND,Power V,ZgND,Z Gyro,");
    // Raw values are whole numbers.
    EXPECT_EQ(lines[9].find('.'), std::string::npos) << lines[9];
    EXPECT_EQ(lines[9].substr(0, 2), "3,");
  }
}

TEST_F(CliLog, WithoutDirWritesIntoTheFolderChosenInTheDatalogWindow) {
  const std::string chosen = keep.folder() + "/chosen";
  fs::create_directory(chosen);
  std::ofstream(keep.folder() + "/VexaEval.cfg") << "datalog.directory = " << chosen << "\n";
  const LogCli r = log({"--samples", "2", "--name", "pick", "XGYRO_OUT"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, chosen + "/pick_1.csv\n");
}

TEST_F(CliLog, SignalCancelsAfterTheCurrentSampleAndTheFileIsWritten) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sim::RecordingUiHooks hooks;
    // Pass 1 follows the opening of file 1; pass 3 the second sample.
    hooks.onProcessEvents = [&] {
      if (hooks.eventPasses == 3) std::raise(signal);
    };
    CliEnvironment environment;
    environment.beforeCommand = [&](PlatformSet&, AppContext& ctx) { ctx.platform.ui = &hooks; };
    const LogCli r = log({"--samples", "100", "--files", "2", "all"}, environment);
    EXPECT_EQ(r.status, 128 + signal);
    EXPECT_EQ(r.out, r.folder + "/DATALOG_1.csv\n");
    EXPECT_EQ(fileLines(r.folder + "/DATALOG_1.csv").size(), 9u);
    EXPECT_FALSE(fs::exists(r.folder + "/DATALOG_2.csv"));
    fs::remove(r.folder + "/DATALOG_1.csv");
  }
}

TEST_F(CliLog, FileThatCannotBeOpenedGivesTheMessageAndFails) {
  const LogCli r = log({"--dir", keep.folder() + "/missing", "XGYRO_OUT"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("FILE ACCESS ERROR"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("File name = DATALOG_1.csv"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
  // The message box's lines on one line of standard error, without carriage returns.
  EXPECT_EQ(r.err.rfind("vexa-cli: FILE ACCESS ERROR. File name = DATALOG_1.csv. This file", 0), 0u)
      << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
}

TEST_F(CliLog, BadOptionIsAUsageError) {
  const LogCli r = log({"--samples", "0", "all"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vexa-cli: --samples needs a whole number from 1 to 2147483647, not '0'\n");
  EXPECT_TRUE(fs::is_empty(r.folder));
}

// An adapter pulled out part-way ends the run at the failing sample in every sampling mode: the
// file holds exactly the samples read before, the command says so and exits 1. Every mode is
// tried and the modes compared as one table, so that one failing mode hides no other.
TEST_F(CliLog, ALostTransportEndsTheRunAtTheFailingSampleInEveryMode) {
  std::vector<std::string> expected, seen;
  for (const char* interface : {"usb", "ftdi", "spidev"}) {
    for (const char* mode : {"--delay", "--pipelined", "--sync"}) {
      const std::string label = std::string(interface) + " " + mode;
      std::vector<std::string> args = {"--simulate",
                                       "--simulate-fault",
                                       "unplug-after=1500",
                                       "--interface",
                                       interface,
                                       "log",
                                       "--samples",
                                       "1000",
                                       "XGYRO_OUT",
                                       "ZACCL_OUT",
                                       "--dir",
                                       keep.folder()};
      args.push_back(mode);
      if (std::string(mode) == "--delay") args.push_back("0");
      std::ostringstream out, err;
      CliEnvironment environment;
      environment.workingDirectory = keep.folder();
      const int status = RunCli(args, out, err, environment);
      const std::string path = keep.folder() + "/DATALOG_1.csv";
      const std::string text = err.str();
      const size_t at = text.find("the file holds the ");
      const long kept = at == std::string::npos ? -1 : std::stol(text.substr(at + 19));
      const long lines = static_cast<long>(fileLines(path).size()) - 7;
      // Exit status, standard output, samples kept in range, the file holding just those.
      expected.push_back(label + ": 1 " + path + "\n kept 1..999, file holds them");
      seen.push_back(
          label + ": " + std::to_string(status) + " " + out.str() + " kept " +
          (kept > 0 && kept < 1000 ? "1..999" : std::to_string(kept)) +
          (lines == kept ? ", file holds them" : ", file holds " + std::to_string(lines)) +
          (kept < 0 ? " " + text : ""));
      fs::remove(path);
    }
  }
  EXPECT_EQ(seen, expected);
}

// A sensor lost before the first sample makes no file, and the command says so.
TEST_F(CliLog, ATransportLostBeforeTheFirstSampleMakesNoFile) {
  CliEnvironment environment;
  environment.beforeCommand = [](PlatformSet&, AppContext& ctx) {
    ctx.usb.SelectedCard.Present = 0;  // pulled out after the command's checks
  };
  const LogCli r = log({"XGYRO_OUT"}, environment);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("no file was made of it"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(r.folder));
}

// The list of files is the command's answer: when it cannot be written (a full device), the
// command fails and says why.
TEST_F(CliLog, AListOfFilesThatCannotReachStandardOutputFails) {
  std::ofstream full("/dev/full");
  ASSERT_TRUE(full.is_open());
  std::ostringstream err;
  CliEnvironment environment;
  environment.workingDirectory = keep.folder();
  const int status = RunCli({"--simulate", "--interface", "usb", "log", "--samples", "2",
                             "XGYRO_OUT", "--dir", keep.folder()},
                            full, err, environment);
  EXPECT_EQ(status, 1) << err.str();
  EXPECT_NE(err.str().find("standard output: No space left on device"), std::string::npos)
      << err.str();
}

TEST_F(CliLog, FilesOfTheSameNamesAreKeptUnlessOverwriteIsGiven) {
  const std::string earlier = keep.folder() + "/DATALOG_2.csv";
  std::ofstream(earlier) << "kept\n";
  LogCli r = log({"--samples", "2", "--files", "3", "XGYRO_OUT"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("DATALOG_2.csv already exists"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(keep.folder() + "/DATALOG_1.csv")) << "refused before the first sample";
  std::ifstream in(earlier);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept\n");

  r = log({"--samples", "2", "--files", "3", "--overwrite", "XGYRO_OUT"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fileLines(earlier).size(), 9u);
}

TEST_F(CliLog, NamesTheProgramCouldNotReadBackAreRefused) {
  for (const char* name : {"run,A", "two\nlines", "bell\a"}) {
    const LogCli r = log({"--name", name, "XGYRO_OUT"});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_NE(r.err.find("the file name may not hold"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(r.folder)) << name;
  }
}

// Pipe end that the child's window-system pass writes one byte to per sample.
class SampleTicks : public UiHooks {
 public:
  explicit SampleTicks(int fd) : fd_(fd) {}
  void processEvents() override { (void)!::write(fd_, "s", 1); }
  void setWaitCursor(bool) override {}

 private:
  int fd_;
};

// A run killed at any moment leaves its samples, but for about the last second, in a partial
// file that reads as a log.
TEST_F(CliLog, ARunKilledAtAnyMomentLeavesAllButTheLastSecondInAReadablePartial) {
  std::mt19937 random(19);
  std::uniform_int_distribution<int> killAfterMs(300, 1500);
  for (int attempt = 0; attempt < 3; ++attempt) {
    int ticks[2];
    ASSERT_EQ(::pipe(ticks), 0);
    ::fcntl(ticks[0], F_SETFL, O_NONBLOCK);
    const std::string name = "killed" + std::to_string(attempt);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ticks[0]);
      SampleTicks hooks(ticks[1]);
      CliEnvironment environment;
      environment.workingDirectory = keep.folder();
      environment.simulatedBusTime = true;
      environment.beforeCommand = [&](PlatformSet&, AppContext& ctx) { ctx.platform.ui = &hooks; };
      std::ostringstream out, err;
      RunCli({"--simulate", "--interface", "usb", "log", "--samples", "100000000", "--name", name,
              "--delay", "1", "all"},
             out, err, environment);
      ::_exit(0);
    }
    ::close(ticks[1]);
    const auto start = std::chrono::steady_clock::now();
    long taken = 0;
    const auto drain = [&] {
      char bytes[4096];
      for (ssize_t n; (n = ::read(ticks[0], bytes, sizeof bytes)) > 0;) taken += n;
    };
    const auto until = start + std::chrono::milliseconds(killAfterMs(random));
    // On a loaded machine the child may not have opened its file by then: the kill comes after
    // the first sample at the earliest, or after a minute when none ever comes.
    const auto latest = start + std::chrono::seconds(60);
    while ((std::chrono::steady_clock::now() < until || taken < 3) &&
           std::chrono::steady_clock::now() < latest) {
      drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    drain();
    ::close(ticks[0]);
    taken -= 1;  // the pass after the file's opening

    const std::string partial = keep.folder() + "/" + name + "_1.csv.partial";
    std::ifstream in(partial, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    text.resize(text.rfind("\r\n") + 2);  // a line cut by the kill is not a sample
    const std::string readable = keep.folder() + "/" + name + "_1.csv";
    std::ofstream(readable, std::ios::binary) << text;
    analysis::LogRecord record;
    analysis::LogError error;
    ASSERT_TRUE(analysis::ReadLogFile(readable, record, error)) << error.message();
    EXPECT_EQ(record.channels.size(), 12u);
    const double rate = static_cast<double>(taken) / seconds;
    EXPECT_GE(record.samples(), taken - static_cast<long>(rate * 1.0) - 1)
        << taken << " samples taken in " << seconds << " s";
    EXPECT_LE(record.samples(), taken);
  }
}

}  // namespace
}  // namespace vexa::cli
