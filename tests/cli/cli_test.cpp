#include "cli/cli.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/hex_text.h"
#include "session/platform_set.h"
#include "sim/bus_monitor.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Before every command but write: PROD_ID (is a sensor there?) and SENS_AVG (the gyro range),
// two frames each.
constexpr size_t kPreludeFrames = 4;

// The trace lines of the command itself.
std::vector<std::string> commandTrace(const std::string& err) {
  std::vector<std::string> all = lines(err);
  if (all.size() < kPreludeFrames) return {};
  EXPECT_EQ(all[0].substr(0, 15), "spi mosi=0x5600") << "PROD_ID first";
  EXPECT_EQ(all[2].substr(0, 15), "spi mosi=0x3800") << "then SENS_AVG";
  return {all.begin() + kPreludeFrames, all.end()};
}

// Runs the command line in a fresh working folder (no CommPort.cfg unless `config` is given).
CliRun runCli(const std::vector<std::string>& args, const std::string& config = "",
              CliEnvironment environment = {}) {
  testing::SimWorld folder;
  if (!config.empty()) std::ofstream(folder.folder() + "/CommPort.cfg") << config;
  environment.workingDirectory = folder.folder();
  std::ostringstream out, err;
  const int status = RunCli(args, out, err, environment);
  return {status, out.str(), err.str()};
}

TEST(CliArguments, ParsesOptionsAndCommand) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseArguments({"--simulate", "--interface", "usb", "--port", "3bc", "--vendor",
                              "0x1234", "--trace", "read", "XGYRO_OUT", "--port"},
                             o, error))
      << error;
  EXPECT_TRUE(o.device.simulate);
  EXPECT_TRUE(o.device.trace);
  EXPECT_EQ(o.device.interface, kInterfaceUsb);
  EXPECT_EQ(o.device.port, 0x3BC);
  EXPECT_EQ(o.device.vendorId, 0x1234);
  EXPECT_EQ(o.command, "read");
  EXPECT_EQ(o.operands, (std::vector<std::string>{"XGYRO_OUT", "--port"}))
      << "after the command everything is an operand";
}

TEST(CliArguments, RejectsBadInput) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{}, "no command given"},
      {{"--interface", "serial", "dump"}, "unknown interface 'serial'"},
      {{"--interface"}, "--interface needs a value"},
      {{"--port", "37G", "dump"}, "malformed port address '37G'"},
      {{"--port", "12345", "dump"}, "malformed port address"},
      {{"--vendor", "", "dump"}, "malformed vendor ID"},
      {{"--fast", "dump"}, "unknown option '--fast'"},
      {{"--simulate-fault", "unplug-after=5", "dump"}, "needs --simulate or --simulate-still"},
      {{"--simulate", "--simulate-fault", "unplug-after=x", "dump"}, "unknown fault"},
      {{"--simulate", "--simulate-fault", "pull", "dump"}, "unknown fault 'pull'"},
  };
  for (const auto& c : cases) {
    CliOptions o;
    std::string error;
    EXPECT_FALSE(ParseArguments(c.args, o, error)) << c.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(CliArguments, RegisterNamesAndHexValues) {
  RegisterTable t;
  BuildRegisterTable(t);
  EXPECT_EQ(FindRegisterByName(t, "xgyro_out"), XGYRO_OUT);
  EXPECT_EQ(FindRegisterByName(t, "ZGYRO_OFF"), ZGYRO_OFF);
  EXPECT_EQ(FindRegisterByName(t, "ZGYRO_ OFF"), ZGYRO_OFF);
  EXPECT_EQ(FindRegisterByName(t, "cont_slp"), Cont_Slp);
  EXPECT_EQ(FindRegisterByName(t, "XGYRO"), -1);
  EXPECT_EQ(FindRegisterByName(t, ""), -1);

  const struct {
    const char* text;
    bool ok;
    int32_t value;
  } values[] = {{"1234", true, 0x1234}, {"0x00ff", true, 0xFF}, {"0XFFFF", true, 0xFFFF},
                {"a", true, 0xA},       {"", false, 0},         {"0x", false, 0},
                {"12345", false, 0},    {"12g", false, 0},      {"-1", false, 0},
                {" 12", false, 0}};
  for (const auto& v : values) {
    int32_t value = -7;
    EXPECT_EQ(ParseHexValue(v.text, value), v.ok) << v.text;
    if (v.ok) {
      EXPECT_EQ(value, v.value) << v.text;
    }
  }
}

TEST(Cli, HelpDocumentsEveryOption) {
  const CliRun r = runCli({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"read NAME", "write NAME HEXVALUE", "dump", "--simulate", "--interface",
                           "--port", "--trace", "--vendor", "CommPort.cfg", "Exit status"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST(Cli, BadInputIsOneErrorLineAndAnExitStatus) {
  const struct {
    std::vector<std::string> args;
    std::string config;
    int status;
    const char* error;
  } cases[] = {
      {{"--simulate", "--interface", "parallel", "read", "XGYRO"},
       "",
       2,
       "unknown register name 'XGYRO'"},
      {{"--simulate", "--interface", "usb", "write", "SMPL_PRD", "0x12g"},
       "",
       2,
       "malformed value '0x12g'"},
      {{"--simulate", "--interface", "usb", "write", "STATUS", "1"},
       "",
       2,
       "register STATUS cannot be written"},
      {{"--simulate", "--interface", "usb", "read", "COMMAND"},
       "",
       2,
       "register COMMAND cannot be read"},
      {{"--simulate", "--interface", "usb", "write", "SMPL_PRD"},
       "",
       2,
       "write needs a register name and a hexadecimal value"},
      {{"--simulate", "read", "SMPL_PRD"}, "", 2, "no interface selected"},
      {{"--simulate", "read", "SMPL_PRD"}, "Interface = 0\n", 2, "no interface selected"},
      {{"--simulate", "--interface", "usb", "frobnicate"}, "", 2, "unknown command 'frobnicate'"},
      // The simulated card answers only to its own vendor ID.
      {{"--simulate", "--interface", "usb", "--vendor", "1234", "read", "SMPL_PRD"},
       "",
       1,
       "No USB Buffers Found, Please Verify Setup and Restart"},
  };
  for (const auto& c : cases) {
    const CliRun r = runCli(c.args, c.config);
    EXPECT_EQ(r.status, c.status) << c.error;
    EXPECT_TRUE(r.out.empty()) << c.error;
    ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("vexa-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
  }
}

// What the printed value should be for the reply that crossed the bus.
std::string expectedReadLine(const std::string& label, uint16_t miso, int bits, bool signedValue) {
  int32_t raw = miso & ((1 << bits) - 1);
  if (signedValue) raw = (raw & ((1 << (bits - 1)) - 1)) - (raw & (1 << (bits - 1)));
  return label + "\t" + HexText(raw);
}

TEST(Cli, ReadsWhatCrossedEitherSimulatedBus) {
  const struct {
    const char* interface;
    const char* secondMosi;  // the port clocks the reply with zeros, the card repeats the command
  } cases[] = {{"parallel", "0x0000"}, {"usb", "0x0400"}};
  for (const auto& c : cases) {
    const CliRun r = runCli(
        {"--simulate", "--trace", "--interface", c.interface, "read", "xgyro_out", "TEMP_OUT"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto trace = commandTrace(r.err);
    ASSERT_EQ(trace.size(), 4u) << r.err;
    EXPECT_EQ(trace[0].substr(0, 15), "spi mosi=0x0400") << c.interface;
    EXPECT_EQ(trace[1].substr(0, 23), std::string("spi mosi=") + c.secondMosi + " miso=0x");
    const uint16_t gyro = static_cast<uint16_t>(std::stoul(trace[1].substr(23), nullptr, 16));
    const uint16_t temp = static_cast<uint16_t>(std::stoul(trace[3].substr(23), nullptr, 16));

    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 2u) << r.out;
    EXPECT_EQ(out[0].rfind(expectedReadLine("XGYRO_OUT", gyro, 14, true) + "\t", 0), 0u)
        << out[0] << " after " << trace[1];
    EXPECT_EQ(out[1].rfind(expectedReadLine("TEMP_OUT", temp, 12, true) + "\t", 0), 0u)
        << out[1] << " after " << trace[3];
  }
}

TEST(Cli, PipelinedReadPrintsTheSameLinesInNPlusOneFrames) {
  const struct {
    const char* interface;
    const char* lastMosi;  // the frame that brings the last reply
  } cases[] = {{"parallel", "0x0000"}, {"usb", "0x0000"}};
  for (const auto& c : cases) {
    const std::vector<std::string> names = {"PROD_ID", "SMPL_PRD", "SENS_AVG", "PROD_ID"};
    std::vector<std::string> single = {"--simulate", "--trace", "--interface", c.interface, "read"};
    single.insert(single.end(), names.begin(), names.end());
    std::vector<std::string> piped = single;
    piped.insert(piped.begin() + 5, "--pipelined");
    const CliRun one = runCli(single), fast = runCli(piped);
    EXPECT_EQ(fast.status, 0) << fast.err;
    EXPECT_EQ(fast.out, one.out) << c.interface;
    const auto trace = commandTrace(fast.err);
    ASSERT_EQ(trace.size(), 5u) << fast.err;
    EXPECT_EQ(trace[0].substr(0, 15), "spi mosi=0x5600") << "PROD_ID first";
    EXPECT_EQ(trace[4].substr(0, 15), std::string("spi mosi=") + c.lastMosi) << c.interface;
  }
  EXPECT_EQ(runCli({"--simulate", "--interface", "usb", "read", "--pipelined"}).status, 2);
}

TEST(Cli, WriteTracesItsTwoFrames) {
  for (const char* interface : {"parallel", "usb"}) {
    const CliRun r =
        runCli({"--simulate", "--trace", "--interface", interface, "write", "SMPL_PRD", "0x1234"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "spi mosi=0xB712 miso=0x0000\nspi mosi=0xB634 miso=0x0000\n") << interface;
  }
}

TEST(Cli, InterfaceAndPortComeFromTheSettingsFile) {
  const CliRun usb = runCli({"--simulate", "--trace", "read", "SMPL_PRD"},
                            "Interface = 2\nPort Address = 888\nFactory = 0\nDevice = 27150\n");
  EXPECT_EQ(usb.status, 0) << usb.err;
  EXPECT_EQ(commandTrace(usb.err).at(1), "spi mosi=0x3600 miso=0x0001")
      << "the card repeats the command";
  const CliRun parallel =
      runCli({"--simulate", "--trace", "read", "SMPL_PRD"},
             "Interface = 1\nPort Address = 888\nFactory = 0\nDevice = 27150\n");
  EXPECT_EQ(parallel.status, 0) << parallel.err;
  EXPECT_EQ(commandTrace(parallel.err).at(1), "spi mosi=0x0000 miso=0x0001");
  EXPECT_EQ(parallel.out, "SMPL_PRD\t0x0001\t1\n");
}

TEST(Cli, DumpListsEveryRow) {
  const CliRun r = runCli({"--simulate", "--interface", "parallel", "--port", "278", "dump"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto out = lines(r.out);
  ASSERT_EQ(out.size(), 48u);
  EXPECT_EQ(out[0], "Name\t\tAddr\thexValue\t   decValue");
  EXPECT_EQ(out[1], "--------------------\t---------\t---------\t   ---------");
  EXPECT_EQ(out[2 + SMPL_PRD], "SMPL_PRD      \t0x0036\t0x0001\t   1.0");
  EXPECT_EQ(out[2 + COMMAND], "COMMAND      \t0x003E\t0x0000\t   0.0") << "not the STATUS values";
  EXPECT_EQ(out[2 + Reserved1], "reserved      \t0x004C\t0x0000\t   0.0");
  EXPECT_EQ(out[2 + Reserved2], "reserved      \t0x0050\t0x0000\t   0.0");
  EXPECT_EQ(out[2 + REV], "REV           \t0x0052\t0x0012\t   18.0");
  EXPECT_EQ(out[2 + MONTH].substr(0, 13), "MONTH      \t0");
  EXPECT_EQ(out[2 + ZGYRO_OFF].substr(0, 18), "ZGYRO_ OFF      \t0");
  EXPECT_EQ(out[2 + PROD_ID], "PROD_ID      \t0x0056\t0x6A0E\t   27150.0");
}

}  // namespace
}  // namespace vexa::cli
