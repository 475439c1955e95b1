// Moving and retrying the parallel-port grant: overlapping direct I/O ranges, a first grant
// that fails, a refused move.
#include <gtest/gtest.h>

#include <bitset>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/linux_port_access.h"
#include "sim/recording_services.h"

namespace vexa::linux_platform {
namespace {

// Direct port I/O as the kernel grants it: one permission bit per port address, set when a range
// is opened and cleared when one is released, whoever opened it. An access without its bit would
// end the process; here it is counted.
struct PermissionBitmap {
  std::bitset<0x10000> allowed;
  int faults = 0;
  std::vector<uint16_t> opened;
};

class DirectRange : public PortIo {
 public:
  DirectRange(PermissionBitmap& bits, uint16_t base) : bits_(bits), base_(base) {
    for (int k = 0; k < 3; ++k) bits_.allowed.set(base_ + k);
  }
  ~DirectRange() override {
    for (int k = 0; k < 3; ++k) bits_.allowed.reset(base_ + k);
  }
  void vbOut(uint16_t port, uint8_t) override {
    if (!bits_.allowed.test(port)) ++bits_.faults;
  }
  uint8_t vbInp(uint16_t port) override {
    if (!bits_.allowed.test(port)) ++bits_.faults;
    return 0x40;
  }

 private:
  PermissionBitmap& bits_;
  uint16_t base_;
};

PortOpener directOpener(PermissionBitmap& bits, std::vector<uint16_t> refused = {}) {
  return [&bits, refused](uint16_t base, std::string& cause) -> std::unique_ptr<PortIo> {
    bits.opened.push_back(base);
    for (uint16_t r : refused)
      if (r == base) {
        cause = "no permission for port I/O at " + std::to_string(base);
        return nullptr;
      }
    return std::make_unique<DirectRange>(bits, base);
  };
}

TEST(PortRegrant, MovingToAnOverlappingRangeKeepsTheNewRangeAccessible) {
  PermissionBitmap bits;
  LinuxPortAccess access({}, nullptr, directOpener(bits));
  std::string cause;
  ASSERT_TRUE(access.grant(0x378, cause));
  ASSERT_TRUE(access.grant(0x379, cause));  // shares 0x379 and 0x37A with the old range
  for (uint16_t port : {0x379, 0x37A, 0x37B}) access.io().vbOut(port, 0);
  access.io().vbInp(0x37A);  // the next status read
  EXPECT_EQ(bits.faults, 0);
  EXPECT_TRUE(access.holds(0x379));
  EXPECT_FALSE(access.holds(0x378));
}

TEST(PortRegrant, ARefusedMoveTakesTheOldPortBack) {
  PermissionBitmap bits;
  LinuxPortAccess access({}, nullptr, directOpener(bits, {0x3BC}));
  std::string cause;
  ASSERT_TRUE(access.grant(0x378, cause));
  EXPECT_FALSE(access.grant(0x3BC, cause));
  EXPECT_NE(cause.find("no permission"), std::string::npos);
  EXPECT_TRUE(access.holds(0x378));
  access.io().vbOut(0x378, 1);
  access.io().vbInp(0x379);
  EXPECT_EQ(bits.faults, 0);
}

TEST(PortRegrant, AfterAFailedFirstGrantAnotherAddressIsTriedOnceAndItsRefusalReported) {
  PermissionBitmap bits;
  sim::RecordingDiagnostics diagnostics;
  LinuxPortAccess access({}, &diagnostics, directOpener(bits, {0x300, 0x3BC}));
  std::string cause;
  EXPECT_FALSE(access.grant(0x300, cause));  // a wrong address in the settings file
  access.io().vbOut(0x300, 1);               // the same address: not tried again
  access.io().vbOut(0x3BC, 1);               // another refused one: tried once, reported once
  access.io().vbOut(0x3BC, 2);
  access.io().vbOut(0x378, 3);  // the corrected address: granted
  access.io().vbInp(0x379);
  EXPECT_EQ(bits.opened, (std::vector<uint16_t>{0x300, 0x3BC, 0x378}));
  EXPECT_EQ(diagnostics.causes.size(), 1u);
  EXPECT_TRUE(access.holds(0x378));
  EXPECT_EQ(bits.faults, 0);
}

}  // namespace
}  // namespace vexa::linux_platform
