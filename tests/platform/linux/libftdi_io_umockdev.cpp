// The libftdi path against a scripted FT232H: umockdev fakes sysfs, udev and the usbfs node,
// and the handler below plays the chip on the usbfs ioctls - its vendor requests, the string
// descriptors, and the MPSSE engine behind the bulk endpoints (the simulated engine, with a
// register file on its pins) - so libftdi and libusb run as they do on hardware. Run under
// umockdev-wrapper.
#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/libftdi_io.h"
#include "platform/linux/usbfs_mock.h"
#include "sim/bus_monitor.h"
#include "sim/mpsse_interpreter.h"
#include "registers/register_access.h"
#include "registers/register_file_slave.h"
#include "support/sim_world.h"
#include "transport/adapter/adapter_spi.h"

namespace vexa {
namespace {

using testing::Bytes;
using testing::put16;
using testing::stringDescriptor;
constexpr size_t kPacket = 512;

// One FT232H on the bus, as its usbfs node answers.
struct ScriptedChip : testing::UsbfsDevice {
  std::string serial;
  bool silent = false;             // the engine takes commands but never answers
  bool gone = false;               // unplugged: every request fails with ENODEV
  bool stringsUnreadable = false;  // string descriptor requests stall, as without access
  testing::RegisterFileSlave slave;
  sim::MpsseInterpreter engine{FtdiChip::Ft232H};
  std::vector<std::pair<uint8_t, uint16_t>> vendorRequests;  // request, value
  ScriptedChip() { engine.attach(&slave); }

 protected:
  Intercept intercept(unsigned long request, UMockdevIoctlClient* client) override {
    if (gone && request != USBDEVFS_REAPURB && request != USBDEVFS_REAPURBNDELAY &&
        request != USBDEVFS_DISCARDURB) {
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return Intercept::Answered;
    }
    if (request == USBDEVFS_SETCONFIGURATION) {
      umockdev_ioctl_client_complete(client, 0, 0);
      return Intercept::Answered;
    }
    return Intercept::Pass;
  }
  bool control(const uint8_t* setup, Bytes& answer) override {
    if (setup[0] == 0x80 && setup[1] == 6 && setup[3] == 3 && stringsUnreadable) return false;
    if (setup[0] == 0x80 && setup[1] == 6 && setup[3] == 3) {  // GET_DESCRIPTOR, string
      const uint8_t index = setup[2];
      answer = index == 0   ? Bytes{4, 3, 0x09, 0x04}
               : index == 1 ? stringDescriptor("FTDI")
               : index == 2 ? stringDescriptor("Single RS232-HS")
                            : stringDescriptor(serial);
      return true;
    }
    if (setup[0] == 0x40) {  // the chip's vendor requests: reset, latency, bitmode...
      vendorRequests.emplace_back(setup[1], static_cast<uint16_t>(setup[2] | setup[3] << 8));
      if (setup[1] == 0x0B && (setup[3] == 0x00 || setup[3] == 0x02)) engine.reset();
      return true;
    }
    return false;
  }
  void bulkOut(const Bytes& bytes) override {
    if (!silent) engine.feed(bytes.data(), bytes.size());
  }
  bool hasReply() override { return !silent && !engine.output().empty(); }
  // The engine's answers in packets, each led by the two modem-status bytes.
  Bytes takeReply(size_t capacity) override {
    auto& out = engine.output();
    Bytes packets;
    while (!out.empty() && packets.size() + 2 < capacity) {
      if (packets.size() % kPacket == 0) packets.insert(packets.end(), {0x32, 0x60});
      packets.push_back(out.front());
      out.pop_front();
    }
    return packets;
  }
};

// Device, configuration, interface and the two bulk endpoints of channel A, as sysfs shows them.
Bytes descriptors() {
  Bytes d = {18, 1};
  put16(d, 0x0200);
  d.insert(d.end(), {0, 0, 0, 64});
  put16(d, 0x0403);
  put16(d, 0x6014);
  put16(d, 0x0900);  // an FT232H
  d.insert(d.end(), {1, 2, 3, 1});
  d.insert(d.end(), {9, 2, 9 + 9 + 2 * 7, 0, 1, 1, 0, 0x80, 45});
  d.insert(d.end(), {9, 4, 0, 0, 2, 0xFF, 0xFF, 0xFF, 2});
  for (uint8_t ep : {uint8_t{0x81}, uint8_t{0x02}}) {
    d.insert(d.end(), {7, 5, ep, 2});
    put16(d, kPacket);
    d.push_back(0);
  }
  return d;
}

class LibftdiUmockdevTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::umockdevPreloaded()) {
      GTEST_SKIP() << "needs the umockdev preload: run under umockdev-wrapper";
    }
    bus_ = std::make_unique<testing::UsbfsBus>();
    w.ctx.platform.ftdi = &io;
    w.ctx.preferences.setNumber("ftdi.timeout_ms", 200);
  }
  void TearDown() override {
    CloseAdapter(w.ctx);  // the link closes the board before the test bed goes
    io.close();
    bus_.reset();
  }

  // An FT232H at port `port` of bus 1, with device number `devnum`.
  ScriptedChip& addChip(int port, int devnum, std::string serial) {
    auto chip = std::make_unique<ScriptedChip>();
    chip->serial = std::move(serial);
    return bus_->add(std::move(chip), port, devnum, {"idVendor", "0403", "idProduct", "6014"},
                     descriptors());
  }

  testing::SimWorld w;
  LibftdiIo io;
  std::unique_ptr<testing::UsbfsBus> bus_;
};

TEST_F(LibftdiUmockdevTest, TheBoardIsListedOpenedInMpsseModeAndReadAndWritten) {
  ScriptedChip& chip = addChip(2, 3, "FTUMOCK1");
  chip.slave.words[0x56] = 0x6A0E;  // PROD_ID

  std::vector<FtdiBoard> boards;
  std::string cause;
  ASSERT_TRUE(io.list({{0x0403, 0x6014}}, boards, cause)) << cause;
  ASSERT_EQ(boards.size(), 1u);
  EXPECT_EQ(boards[0].chip, FtdiChip::Ft232H);
  EXPECT_EQ(boards[0].description, "Single RS232-HS");
  EXPECT_EQ(boards[0].serial, "FTUMOCK1");
  EXPECT_EQ(boards[0].busPort(), "1-2");

  w.ctx.settings.Interface = kInterfaceFtdi;
  ASSERT_TRUE(OpenAdapter(w.ctx, kInterfaceFtdi)) << w.messages.texts().front();
  // Latency 1 ms, then bitmode reset and MPSSE (mode in the value's high byte).
  std::vector<std::pair<uint8_t, uint16_t>> modes;
  for (const auto& r : chip.vendorRequests)
    if (r.first == 0x09 || r.first == 0x0B) modes.push_back(r);
  EXPECT_EQ(modes,
            (std::vector<std::pair<uint8_t, uint16_t>>{{0x09, 1}, {0x0B, 0x0000}, {0x0B, 0x0200}}));
  ReadRegister(w.ctx, PROD_ID);
  EXPECT_EQ(w.ctx.access.LastRaw, 0x6A0E);
  WriteRegister(w.ctx, SMPL_PRD, 0x1234);
  EXPECT_EQ(chip.slave.bytes[0x37], 0x12);
  EXPECT_EQ(chip.slave.bytes[0x36], 0x34);
  EXPECT_TRUE(w.messages.shown.empty());
  EXPECT_DOUBLE_EQ(chip.engine.clockHz(), 1e6);
}

TEST_F(LibftdiUmockdevTest, FailuresNameTheirCause) {
  ScriptedChip& chip = addChip(2, 3, "FTUMOCK1");
  w.ctx.settings.Interface = kInterfaceFtdi;

  w.ctx.preferences.setText("ftdi.serial", "ELSEWHERE");
  EXPECT_FALSE(OpenAdapter(w.ctx, kInterfaceFtdi));
  w.ctx.preferences.setText("ftdi.serial", "");
  ASSERT_TRUE(OpenAdapter(w.ctx, kInterfaceFtdi));
  {
    std::lock_guard<std::mutex> hold(chip.lock);
    chip.silent = true;
  }
  ReadRegister(w.ctx, PROD_ID);
  {
    std::lock_guard<std::mutex> hold(chip.lock);
    chip.silent = false;
    chip.engine.output().clear();
  }
  ASSERT_TRUE(OpenAdapter(w.ctx, kInterfaceFtdi));
  {
    std::lock_guard<std::mutex> hold(chip.lock);
    chip.gone = true;
  }
  ReadRegister(w.ctx, PROD_ID);
  EXPECT_EQ(w.messages.texts(),
            (std::vector<std::string>{
                "FTDI adapter: no FTDI board with the IDs 0403:6014, 0403:6010, 0403:6011 and "
                "serial ELSEWHERE is attached: plug it in, check `lsusb`, or choose the board "
                "found in Interface > FTDI",
                "FTDI adapter: the FTDI board at 1-2 did not answer within 200 ms: check its USB "
                "cable and power, then choose it again",
                "FTDI adapter: the FTDI board at 1-2 was unplugged: plug it in and choose it "
                "again in Interface > FTDI"}));
}

// Without access to the node the serial cannot be read, so a board chosen by serial is not
// found by it: the cause is the permission, not a missing board.
TEST_F(LibftdiUmockdevTest, ABoardWhoseSerialCannotBeReadIsReportedAsNoPermission) {
  ScriptedChip& chip = addChip(2, 3, "FTUMOCK1");
  chip.stringsUnreadable = true;
  w.ctx.settings.Interface = kInterfaceFtdi;
  w.ctx.preferences.setText("ftdi.serial", "FTUMOCK1");
  EXPECT_FALSE(OpenAdapter(w.ctx, kInterfaceFtdi));
  EXPECT_EQ(w.messages.texts(),
            std::vector<std::string>{
                "FTDI adapter: no permission on /dev/bus/usb/001/003: install the udev rules (see "
                "README) or join the plugdev group, then replug the board"});
}

}  // namespace
}  // namespace vexa
