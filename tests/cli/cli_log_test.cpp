#include "cli/cli_log.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "platform/sim/recording_services.h"
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
  for (const int signal : {SIGINT, SIGTERM}) {
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

}  // namespace
}  // namespace vexa::cli
