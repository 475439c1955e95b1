// vexa-cli log --pipelined --sync.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "cli/cli_log.h"
#include "registers/register_access.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

TEST(LogSamplingArguments, PipelinedAndSyncAreTakenAnywhere) {
  RegisterTable table;
  BuildRegisterTable(table);
  const struct {
    std::vector<std::string> args;
    bool pipelined, sync;
  } cases[] = {
      {{"all"}, false, false},
      {{"--pipelined", "all"}, true, false},
      {{"XGYRO_OUT", "--sync"}, false, true},
      {{"--sync", "--samples", "5", "--pipelined", "XGYRO_OUT"}, true, true},
  };
  for (const auto& c : cases) {
    LogCommand command;
    std::string error;
    ASSERT_TRUE(ParseLogCommand(c.args, table, command, error)) << error;
    EXPECT_EQ(command.sampling.pipelined, c.pipelined);
    EXPECT_EQ(command.sampling.dataReady, c.sync);
  }
}

struct LogOutput {
  int status;
  std::string out, err;
};

LogOutput logIn(const testing::SimWorld& folder, const std::vector<std::string>& args,
                CliEnvironment environment = {}) {
  std::vector<std::string> all = {"--simulate", "--interface", "usb", "log"};
  all.insert(all.end(), args.begin(), args.end());
  environment.workingDirectory = folder.folder();
  std::ostringstream out, err;
  const int status = RunCli(all, out, err, environment);
  return {status, out.str(), err.str()};
}

TEST(CliLogSampling, PipelinedSyncedRunWritesEverySampleItTook) {
  testing::SimWorld folder;
  const LogOutput r = logIn(folder, {"--pipelined", "--sync", "--samples", "40", "all"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::ifstream in(folder.folder() + "/DATALOG_1.csv", std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 47u);
  for (size_t i = 7; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].rfind(std::to_string(i - 6) + ",1,", 0), 0u) << lines[i];
}

TEST(CliLogSampling, ASleepingSensorEndsASyncedRunWithAMessage) {
  testing::SimWorld folder;
  CliEnvironment environment;
  environment.beforeCommand = [](PlatformSet&, AppContext& ctx) {
    WriteRegister(ctx, SLP_CNT, 20);  // ten seconds asleep
  };
  const LogOutput r = logIn(folder, {"--sync", "XGYRO_OUT"}, environment);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("NO NEW DATA"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "") << "no file of a header alone";
  EXPECT_NE(r.err.find("a file without samples is not made"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vexa::cli
