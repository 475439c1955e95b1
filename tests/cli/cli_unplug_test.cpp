// An adapter pulled out after any frame of a command: the command exits 1 and prints only lines
// whose reads all completed, each as the run without the fault prints it.
#include <gtest/gtest.h>

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

TEST(CliUnplugged, EveryLostFrameExitsOneAndPrintsOnlyCompletedLines) {
  const std::vector<std::vector<std::string>> commands = {
      {"read", "XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT"},
      {"read", "--pipelined", "XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT"},
      {"dump"},
      {"magcal", "--seconds", "2"},
  };
  for (const std::string interface : {"usb", "ftdi", "spidev"}) {
    for (const auto& command : commands) {
      const std::string what =
          interface + " " + command.front() + " " + command[1 % command.size()];
      const CliRun whole = run(interface, command, std::nullopt);
      ASSERT_NE(whole.status, 1) << what;
      // Every N up to the first that lets the command through: each of those lost a frame.
      uint64_t n = 1;
      size_t mismatches = 0;
      for (;; ++n) {
        ASSERT_LT(n, 100000u) << what << ": never completes";
        const CliRun cut = run(interface, command, n);
        if (cut.status != 1) {
          EXPECT_EQ(cut.status, whole.status) << what << " N=" << n;
          EXPECT_EQ(cut.lines, whole.lines) << what << " N=" << n;
          break;
        }
        bool prefix = cut.lines.size() <= whole.lines.size();
        for (size_t i = 0; prefix && i < cut.lines.size(); ++i)
          prefix = cut.lines[i] == whole.lines[i];
        if (!prefix && ++mismatches <= 3)
          ADD_FAILURE() << what << " N=" << n << " printed a line the sensor did not give";
      }
      EXPECT_GT(n, 4u) << what << ": the check and the command took frames";
      // Beyond the last frame nothing changes.
      const CliRun beyond = run(interface, command, n + 1000);
      EXPECT_EQ(beyond.status, whole.status) << what;
      EXPECT_EQ(beyond.lines, whole.lines) << what;
    }
  }
}

}  // namespace
}  // namespace vexa::cli
