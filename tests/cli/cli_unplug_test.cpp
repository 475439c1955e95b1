// An adapter pulled out after any frame of a command: the command exits 1 and prints only lines
// whose reads all completed, each as the run without the fault prints it.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "cli/cli.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

struct CliRun {
  int status;
  std::vector<std::string> lines;
};

CliRun run(const std::string& interface, const std::vector<std::string>& command,
           std::optional<uint64_t> unplugAfter) {
  testing::SimWorld folder;
  CliEnvironment environment;
  environment.workingDirectory = folder.folder();
  std::vector<std::string> args = {"--simulate", "--simulate-virtual-time", "--interface",
                                   interface};
  if (unplugAfter) {
    args.push_back("--simulate-fault");
    args.push_back("unplug-after=" + std::to_string(*unplugAfter));
  }
  args.insert(args.end(), command.begin(), command.end());
  std::ostringstream out, err;
  CliRun r{RunCli(args, out, err, environment), {}};
  std::istringstream printed(out.str());
  for (std::string line; std::getline(printed, line);) r.lines.push_back(line);
  return r;
}

struct Case {
  const char* interface;
  std::vector<std::string> command;
};

class CliUnplugged : public ::testing::TestWithParam<Case> {};

TEST_P(CliUnplugged, EveryLostFrameExitsOneAndPrintsOnlyCompletedLines) {
  const std::string interface = GetParam().interface;
  const std::vector<std::string>& command = GetParam().command;
  const CliRun whole = run(interface, command, std::nullopt);
  ASSERT_NE(whole.status, 1);
  // Every N up to the first that lets the command through: each of those lost a frame.
  uint64_t n = 1;
  size_t strays = 0;
  for (;; ++n) {
    ASSERT_LT(n, 100000u) << "never completes";
    const CliRun cut = run(interface, command, n);
    if (cut.status != 1) {
      EXPECT_EQ(cut.status, whole.status) << "N=" << n;
      EXPECT_EQ(cut.lines, whole.lines) << "N=" << n;
      break;
    }
    bool prefix = cut.lines.size() <= whole.lines.size();
    for (size_t i = 0; prefix && i < cut.lines.size(); ++i) prefix = cut.lines[i] == whole.lines[i];
    if (!prefix && ++strays <= 3)
      ADD_FAILURE() << "N=" << n << " printed a line the sensor did not give";
  }
  EXPECT_GT(n, 4u) << "the sensor check and the command took frames";
  // Beyond the last frame nothing changes.
  const CliRun beyond = run(interface, command, n + 1000);
  EXPECT_EQ(beyond.status, whole.status);
  EXPECT_EQ(beyond.lines, whole.lines);
}

std::vector<Case> AllCases() {
  const std::vector<std::vector<std::string>> commands = {
      {"read", "XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT"},
      {"read", "--pipelined", "XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT"},
      {"dump"},
      {"magcal", "--seconds", "2"},
  };
  std::vector<Case> cases;
  for (const char* interface : {"usb", "ftdi", "spidev"})
    for (const auto& command : commands) cases.push_back({interface, command});
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.interface;
  for (const auto& word : info.param.command)
    for (char c : word)
      if (std::isalnum(static_cast<unsigned char>(c))) name += c;
  return name;
}

INSTANTIATE_TEST_SUITE_P(Commands, CliUnplugged, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
}  // namespace vexa::cli
