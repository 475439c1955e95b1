// vexa-cli before it trusts a value: a known sensor on the bus, the gyro range the sensor is set
// to, settings files it could not use, and error lines that stay short.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "session/platform_set.h"
#include "sim/sim_sensor.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

struct CliRun {
  int status;
  std::string out, err;
};

struct Sensor {
  uint16_t productId = 27150;
  uint16_t sensAvg = 0x0402;
};

// In a fresh folder; `files` are written into it first (name, text).
CliRun run(const std::vector<std::string>& args, Sensor sensor = {},
           const std::vector<std::pair<std::string, std::string>>& files = {}) {
  testing::SimWorld folder;
  for (const auto& [name, text] : files) std::ofstream(folder.folder() + "/" + name) << text;
  CliEnvironment environment;
  environment.workingDirectory = folder.folder();
  environment.adjustPlatform = [sensor](PlatformOptions& o) {
    o.configureSensor = [sensor](sim::SimSensorConfig& c) {
      c.productId = sensor.productId;
      c.sensAvg = sensor.sensAvg;
    };
  };
  std::ostringstream out, err;
  const int status = RunCli(args, out, err, environment);
  return {status, out.str(), err.str()};
}

std::vector<std::string> withArgs(std::vector<std::string> command) {
  std::vector<std::string> all = {"--simulate", "--interface", "usb"};
  all.insert(all.end(), command.begin(), command.end());
  return all;
}

TEST(CliSensorCheck, UnknownProductWarnsForReadsAndStopsLogAndMagcal) {
  const std::vector<std::string> log = {"log", "--samples", "2", "XGYRO_OUT"};
  const struct {
    uint16_t productId;
    std::vector<std::string> command;
    int status;
    const char* err;  // empty: nothing on standard error
  } cases[] = {
      {0xFFFF, {"read", "SUPPLY_OUT"}, 0,
       "warning: PROD_ID reads 0xFFFF (65535), not a known sensor (27150 or 27100): nothing "
       "answers on the bus. Check the wiring and the sensor's power.\n"},
      {0x0000, {"dump"}, 0, "nothing answers on the bus. Check the wiring and the sensor's power"},
      {0x3507, {"read", "XGYRO_OUT"}, 0, "shifted by one bit. Check the SPI mode"},
      {0x1234, {"read", "XGYRO_OUT"}, 0, "check the wiring, the sensor's power and the SPI mode"},
      {0x0000, log, 1, "Give --no-sensor-check to go on"},
      {0x3507, {"magcal", "--seconds", "5"}, 1, "Check the SPI mode"},
      {0x0000, {"--no-sensor-check", "log", "--samples", "2", "XGYRO_OUT"}, 0, "warning: PROD_ID"},
      {0x0000, {"log", "--samples", "2", "XGYRO_OUT", "--no-sensor-check"}, 0, "warning:"},
      {27100, log, 0, ""},
      {27150, {"read", "XGYRO_OUT"}, 0, ""},
  };
  for (const auto& c : cases) {
    const CliRun r = run(withArgs(c.command), {c.productId});
    const std::string what = std::to_string(c.productId) + " " + c.command.front();
    EXPECT_EQ(r.status, c.status) << what << "\n" << r.err;
    if (*c.err == '\0') {
      EXPECT_EQ(r.err, "") << what;
    } else {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << what << "\n" << r.err;
    }
    if (c.status != 0) {
      EXPECT_EQ(r.out, "") << what << ": nothing read, nothing written";
    }
  }
}

TEST(CliGyroScale, ReadsScaleGyrosAtTheRangeTheSensorIsSetTo) {
  // The register documentation's sensitivities: 0.0125, 0.025 and 0.05 deg/sec per LSB for the
  // +/-75, 150 and 300 deg/sec ranges (SENS_AVG bits 10..8 = 1, 2, 4); any other range reads
  // nothing and scales to 0.
  const struct {
    uint16_t sensAvg;
    double degPerSecPerLsb;
  } ranges[] = {{0x0402, 0.05}, {0x0202, 0.025}, {0x0102, 0.0125}, {0x0002, 0.0}, {0x0302, 0.0}};
  for (const auto& range : ranges) {
    const CliRun r = run(withArgs({"read", "XGYRO_OUT"}), {27150, range.sensAvg});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream line(r.out);
    std::string label, hex, scaled;
    line >> label >> hex >> scaled;
    const int raw = static_cast<int16_t>(std::stoul(hex, nullptr, 16) << 2) >> 2;  // 14 bits
    EXPECT_NEAR(std::stod(scaled), raw * range.degPerSecPerLsb, 1e-5 + 1e-5 * std::abs(raw))
        << std::hex << range.sensAvg << " " << r.out;
    if (range.degPerSecPerLsb != 0.0) {
      EXPECT_NE(raw, 0) << "a reading that tells the scale";
    }
  }
}

TEST(CliSettingsFiles, SaysWhyAFileWasNotUsed) {
  const struct {
    const char* name;
    const char* text;  // nullptr: a folder in its place
    const char* err;
  } cases[] = {
      {"CommPort.cfg", nullptr, "CommPort.cfg is not a regular file"},
      {"CommPort.cfg", "\x01\x7f\xfe garbage\n", "line 1 is not \"Key = value\""},
      {"CommPort.cfg", "Interface=2\n", "(write one blank each side of \"=\""},
      {"CommPort.cfg", "Interface =  2\nDevice  = 27150\n",
       "unknown key \"Device \" and is ignored"},
      {"CommPort.cfg", "Interface = two\n", "line 1 has no 16-bit whole number"},
      {"VexaEval.cfg", nullptr, "VexaEval.cfg is not a regular file"},
      {"VexaEval.cfg", "ftdi.mode = 3\n\x01\x02\x03\n", "VexaEval.cfg line 2 is not"},
  };
  for (const auto& c : cases) {
    testing::SimWorld folder;
    const std::string path = folder.folder() + "/" + c.name;
    if (c.text == nullptr)
      ::mkdir(path.c_str(), 0755);
    else
      std::ofstream(path) << c.text;
    CliEnvironment environment;
    environment.workingDirectory = folder.folder();
    std::ostringstream out, err;
    RunCli({"--simulate", "read", "SMPL_PRD"}, out, err, environment);
    EXPECT_NE(err.str().find(c.err), std::string::npos) << c.err << "\n" << err.str();
  }
  testing::SimWorld folder;
  const std::string fifo = folder.folder() + "/CommPort.cfg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  CliEnvironment environment;
  environment.workingDirectory = folder.folder();
  std::ostringstream out, err;
  EXPECT_EQ(RunCli({"--simulate", "read", "SMPL_PRD"}, out, err, environment), 2);
  EXPECT_NE(err.str().find("CommPort.cfg is not a regular file"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("no interface selected"), std::string::npos) << err.str();
}

TEST(CliErrors, NameEveryCommandAndCutHugeFields) {
  const CliRun none = run({"--simulate"});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(
      none.err.find(
          "read, write, dump, log, magcal, accelcal, adev, noise, report, stats, units, runs, "
          "figures, calibrations or queue"),
      std::string::npos)
      << none.err;

  const std::string huge(1000000, 'A');
  for (const auto& args : std::vector<std::vector<std::string>>{
           withArgs({"read", huge}), {"--interface", huge, "dump"}, {"stats", huge}}) {
    const CliRun r = run(args);
    EXPECT_NE(r.status, 0);
    EXPECT_LT(r.err.size(), 400u) << r.err.substr(0, 400);
    EXPECT_NE(r.err.find("AAAA..."), std::string::npos) << r.err.substr(0, 400);
  }

  const CliRun spidev = run({"--simulate", "--interface", "spidev", "read", "PROD_ID"}, {},
                            {{"VexaEval.cfg", "spidev.device =\n"}});
  EXPECT_EQ(spidev.status, 1);
  EXPECT_NE(spidev.err.find("no spidev device node is set"), std::string::npos) << spidev.err;
}

}  // namespace
}  // namespace vexa::cli
