#include "platform/linux/linux_port_access.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/linux/linux_system_info.h"
#include "platform/linux/ppdev_port_io.h"
#include "sim/recording_services.h"
#include "support/sim_world.h"

namespace vexa::linux_platform {
namespace {

namespace fs = std::filesystem;

// A fake /proc/sys/dev/parport and /dev in a temporary folder.
class FakeKernel {
 public:
  FakeKernel() : proc_(world_.folder() + "/parport"), dev_(world_.folder() + "/dev") {
    fs::create_directories(proc_);
    fs::create_directories(dev_);
  }
  void addPort(const std::string& name, const std::string& baseAddr,
               const std::string& active = "none\n") {
    fs::create_directories(proc_ + "/" + name + "/devices");
    std::ofstream(proc_ + "/" + name + "/base-addr") << baseAddr;
    std::ofstream(proc_ + "/" + name + "/devices/active") << active;
  }
  void addDevice(const std::string& name) { std::ofstream(dev_ + "/" + name) << ""; }
  PortAccessPaths paths() const { return {proc_, dev_, false}; }
  const std::string& proc() const { return proc_; }

 private:
  testing::SimWorld world_;
  std::string proc_, dev_;
};

TEST(ParportLookup, FindsThePortByItsDataAddress) {
  FakeKernel k;
  k.addPort("parport0", "888\t1912\n");
  k.addPort("parport1", "632\t1656\n");
  k.addPort("parport2", "888\n");  // a second entry for one address: the lower number wins
  k.addPort("lp", "956\n");        // not a port folder
  fs::create_directories(k.proc() + "/parport3");  // no base-addr file
  const struct {
    uint16_t base;
    const char* name;
  } cases[] = {{0x378, "parport0"}, {0x278, "parport1"}, {0x3BC, ""}, {0x379, ""}};
  for (const auto& c : cases)
    EXPECT_EQ(FindParportByAddress(k.proc(), c.base), c.name) << std::hex << c.base;
  EXPECT_EQ(FindParportByAddress(k.proc() + "/absent", 0x378), "");
}

TEST(LinuxPortAccess, RefusesWithTheCauseAndItsFix) {
  const struct {
    const char* setting;
    std::function<void(FakeKernel&)> build;
    const char* cause;
  } cases[] = {
      {"no port at the address", [](FakeKernel& k) { k.addPort("parport0", "632\n"); },
       "no parallel port at 0x378: check the address in "},
      {"lp holds the port",
       [](FakeKernel& k) {
         k.addPort("parport0", "888\n", "lp\n");
         k.addDevice("parport0");
       },
       "parport0 is claimed by the lp module: run 'sudo rmmod lp' or blacklist it"},
      {"no ppdev device", [](FakeKernel& k) { k.addPort("parport0", "888\n"); },
       "/parport0 is missing: load the ppdev module ('sudo modprobe ppdev')"},
      {"device that is not a port",
       [](FakeKernel& k) {
         k.addPort("parport0", "888\n");
         k.addDevice("parport0");
       },
       "cannot claim "},
  };
  for (const auto& c : cases) {
    FakeKernel k;
    c.build(k);
    LinuxPortAccess access(k.paths());
    std::string cause;
    EXPECT_FALSE(access.grant(0x378, cause)) << c.setting;
    EXPECT_NE(cause.find(c.cause), std::string::npos) << c.setting << ": " << cause;
    EXPECT_EQ(cause.find('\n'), std::string::npos) << "one line";
    EXPECT_EQ(access.backend(), "");
    // Refused, the port stays inert rather than touching anything.
    access.io().vbOut(0x378, 5);
    EXPECT_EQ(access.io().vbInp(0x379), 0xFF);
  }
}

// A port that records what reaches it, for the grant-following tests.
struct RecordingPort : PortIo {
  explicit RecordingPort(std::vector<std::string>& log, uint16_t base) : log_(log), base_(base) {}
  void vbOut(uint16_t port, uint8_t value) override {
    log_.push_back(std::to_string(base_) + ":" + std::to_string(port) + "=" +
                   std::to_string(value));
  }
  uint8_t vbInp(uint16_t) override { return 0x40; }
  std::vector<std::string>& log_;
  uint16_t base_;
};

TEST(LinuxPortAccess, AWriteToAnotherAddressMovesTheGrantThere) {
  std::vector<std::string> log;
  std::vector<uint16_t> opened;
  sim::RecordingDiagnostics diagnostics;
  LinuxPortAccess access({}, &diagnostics,
                         [&](uint16_t base, std::string& cause) -> std::unique_ptr<PortIo> {
                           opened.push_back(base);
                           if (base == 0x3BC) {
                             cause = "no parallel port at 0x3BC";
                             return nullptr;
                           }
                           return std::make_unique<RecordingPort>(log, base);
                         });
  access.io().vbOut(0x378, 1);  // before any grant: inert, nothing opened
  std::string cause;
  ASSERT_TRUE(access.grant(0x378, cause));
  access.io().vbOut(0x379, 0x40);
  access.io().vbOut(0x378, 4);
  access.io().vbOut(0x278, 5);  // the address changed: the grant follows
  access.io().vbOut(0x3BC, 6);  // a port that cannot be had: inert, its cause reported once
  access.io().vbOut(0x3BC, 7);
  access.io().vbOut(0x278, 8);
  // 0x278 is released before 0x3BC is tried, and taken back when 0x3BC is refused.
  EXPECT_EQ(opened, (std::vector<uint16_t>{0x378, 0x278, 0x3BC, 0x278}));
  EXPECT_EQ(log, (std::vector<std::string>{"888:889=64", "888:888=4", "632:632=5", "632:632=8"}));
  EXPECT_EQ(diagnostics.causes, (std::vector<std::string>{"no parallel port at 0x3BC"}));
}

TEST(PortAccessCauses, NameTheFix) {
  EXPECT_EQ(CauseOpenFailed("/dev/parport0", EACCES),
            "no permission on /dev/parport0: add yourself to the lp group ('sudo usermod -aG lp "
            "$USER', then log in again)");
  EXPECT_EQ(CauseClaimedBy("parport1", "lp"),
            "parport1 is claimed by the lp module: run 'sudo rmmod lp' or blacklist it");
  EXPECT_NE(CauseClaimedBy("parport0", "plip").find("claimed by plip"), std::string::npos);
  EXPECT_NE(CauseClaimFailed("/dev/parport0", EBUSY).find("rmmod lp"), std::string::npos);
  EXPECT_NE(CauseDirectIoFailed(0x378, EPERM).find("no permission for port I/O at 0x378"),
            std::string::npos);
  EXPECT_EQ(CauseNoPortAt(0x3BC, "/proc/sys/dev/parport"),
            "no parallel port at 0x3BC: check the address in /proc/sys/dev/parport/*/base-addr");
}

TEST(LinuxSystemInfo, KernelReleaseAsVersionAndBuild) {
  const struct {
    const char* release;
    float version;
    float build;
  } cases[] = {{"6.1.0-18-amd64", 6.1f, 0},
               {"5.15.133.1-microsoft-standard-WSL2", 5.15f, 133},
               {"4.9.337", 4.9f, 337},
               {"6.10.4", 6.1f, 4},
               {"", 0, 0}};
  for (const auto& c : cases) {
    const OsVersion v = VersionFromRelease(c.release);
    EXPECT_EQ(v.platformId, 2) << c.release;
    EXPECT_FLOAT_EQ(v.version, c.version) << c.release;
    EXPECT_FLOAT_EQ(v.build, c.build) << c.release;
  }
}

}  // namespace
}  // namespace vexa::linux_platform
