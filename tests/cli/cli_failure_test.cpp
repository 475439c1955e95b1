// After a transfer fails, the command line prints no value that the failure left behind.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli.h"
#include "session/platform_set.h"
#include "sim/sim_usb_card.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

TEST(CliAfterAFailedTransfer, PrintsNoFurtherValuesAndExitsWithTheDeviceStatus) {
  struct Case {
    std::vector<std::string> args;
    size_t linesPrinted;
  } cases[] = {
      {{"--simulate", "--interface", "usb", "read", "XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT"}, 0},
      {{"--simulate", "--interface", "usb", "dump"}, 2},  // the two heading lines
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    testing::SimWorld folder;
    CliEnvironment environment;
    environment.workingDirectory = folder.folder();
    environment.beforeCommand = [](PlatformSet& world, AppContext&) {
      world.simulatedCard()->failRequest(usbreq::kBulkRead, sim::FaultMode::Once);
    };
    std::ostringstream out, err;
    EXPECT_EQ(RunCli(c.args, out, err, environment), 1);
    std::istringstream printed(out.str());
    size_t lines = 0;
    for (std::string line; std::getline(printed, line);) ++lines;
    EXPECT_EQ(lines, c.linesPrinted) << out.str();
    EXPECT_NE(err.str().find("Error Reading SPI"), std::string::npos) << err.str();
  }
}

TEST(CliAfterAFailedTransfer, SimulatedCardKeepsNoRecordOutsideTests) {
  testing::SimWorld folder;
  CliEnvironment environment;
  environment.workingDirectory = folder.folder();
  size_t recorded = 1;
  environment.beforeCommand = [&recorded](PlatformSet& world, AppContext&) {
    recorded = world.simulatedCard()->pipe0Writes().size();
  };
  std::ostringstream out, err;
  ASSERT_EQ(
      RunCli({"--simulate", "--interface", "usb", "read", "XGYRO_OUT"}, out, err, environment), 0)
      << err.str();
  EXPECT_EQ(recorded, 0u) << "the card search and set-up were recorded";
}

}  // namespace
}  // namespace vexa::cli
