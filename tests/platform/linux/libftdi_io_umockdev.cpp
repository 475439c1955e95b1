// The libftdi path against a scripted FT232H: umockdev fakes sysfs, udev and the usbfs node,
// and the handler below plays the chip on the usbfs ioctls - its vendor requests, the string
// descriptors, and the MPSSE engine behind the bulk endpoints (the simulated engine, with a
// register file on its pins) - so libftdi and libusb run as they do on hardware. Run under
// umockdev-wrapper.
#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/libftdi_io.h"
#include "platform/sim/bus_monitor.h"
#include "platform/sim/mpsse_interpreter.h"
#include "registers/register_access.h"
#include "registers/register_file_slave.h"
#include "support/sim_world.h"
#include "transport/adapter/adapter_spi.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kPacket = 512;

// One FT232H on the bus, as its usbfs node answers.
struct ScriptedChip {
  std::string serial;
  bool silent = false;             // the engine takes commands but never answers
  bool gone = false;               // unplugged: every request fails with ENODEV
  bool stringsUnreadable = false;  // string descriptor requests stall, as without access
  std::mutex lock;
  testing::RegisterFileSlave slave;
  sim::MpsseInterpreter engine{FtdiChip::Ft232H};
  std::vector<std::pair<uint8_t, uint16_t>> vendorRequests;  // request, value
  std::deque<UMockdevIoctlData*> completed;
  std::vector<UMockdevIoctlData*> waiting;  // IN URBs with nothing to read yet
  ScriptedChip() { engine.attach(&slave); }
};

void put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

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

Bytes stringDescriptor(const std::string& text) {
  Bytes d = {static_cast<uint8_t>(2 + 2 * text.size()), 3};
  for (char c : text) put16(d, static_cast<uint8_t>(c));
  return d;
}

void finish(ScriptedChip& chip, UMockdevIoctlData* urbData, UMockdevIoctlData* buffer,
            const Bytes& bytes, int status = 0) {
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  const size_t n = std::min<size_t>(bytes.size(), static_cast<size_t>(urb->buffer_length));
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), buffer->data);
  urb->actual_length = static_cast<int>(n);
  urb->status = status;
  chip.completed.push_back(urbData);
}

// The engine's answers in packets, each led by the two modem-status bytes.
void serveWaiting(ScriptedChip& chip) {
  auto& out = chip.engine.output();
  while (!chip.waiting.empty() && !out.empty()) {
    UMockdevIoctlData* urbData = chip.waiting.front();
    chip.waiting.erase(chip.waiting.begin());
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
    Bytes packets;
    while (!out.empty() && packets.size() + 2 < static_cast<size_t>(urb->buffer_length)) {
      if (packets.size() % kPacket == 0) packets.insert(packets.end(), {0x32, 0x60});
      packets.push_back(out.front());
      out.pop_front();
    }
    finish(chip, urbData, buffer, packets);
    g_object_unref(buffer);
  }
}

gboolean handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
  auto& chip = *static_cast<ScriptedChip*>(user);
  std::lock_guard<std::mutex> hold(chip.lock);
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  if (chip.gone && request != USBDEVFS_REAPURB && request != USBDEVFS_REAPURBNDELAY &&
      request != USBDEVFS_DISCARDURB) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
      *reinterpret_cast<guint32*>(caps->data) =
          USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
          USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      g_object_unref(caps);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESET:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
      umockdev_ioctl_client_complete(client, -1, ENODATA);
      return TRUE;
    case USBDEVFS_SUBMITURB: {
      UMockdevIoctlData* urbData =
          umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
      auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
      UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
          urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
      g_object_ref(urbData);
      if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        const uint8_t* setup = buffer->data;
        Bytes answer;
        bool stall = false;
        if (setup[0] == 0x80 && setup[1] == 6 && setup[3] == 3 && chip.stringsUnreadable) {
          stall = true;
        } else if (setup[0] == 0x80 && setup[1] == 6 && setup[3] == 3) {  // GET_DESCRIPTOR, string
          const uint8_t index = setup[2];
          answer = index == 0   ? Bytes{4, 3, 0x09, 0x04}
                   : index == 1 ? stringDescriptor("FTDI")
                   : index == 2 ? stringDescriptor("Single RS232-HS")
                                : stringDescriptor(chip.serial);
        } else if (setup[0] == 0x40) {  // the chip's vendor requests: reset, latency, bitmode...
          chip.vendorRequests.emplace_back(setup[1],
                                           static_cast<uint16_t>(setup[2] | setup[3] << 8));
          if (setup[1] == 0x0B && (setup[3] == 0x00 || setup[3] == 0x02)) chip.engine.reset();
        } else {
          stall = true;
        }
        Bytes withSetup(setup, setup + 8);
        withSetup.insert(withSetup.end(), answer.begin(), answer.end());
        finish(chip, urbData, buffer, withSetup, stall ? -EPIPE : 0);
        auto* done = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        done->actual_length = std::min(static_cast<int>(answer.size()), done->buffer_length - 8);
      } else if (urb->endpoint & 0x80) {
        chip.waiting.push_back(urbData);
        if (!chip.silent) serveWaiting(chip);
      } else {
        if (!chip.silent) chip.engine.feed(buffer->data, static_cast<size_t>(urb->buffer_length));
        finish(chip, urbData, buffer, Bytes(buffer->data, buffer->data + urb->buffer_length));
      }
      g_object_unref(buffer);
      g_object_unref(urbData);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_DISCARDURB: {
      gulong target = 0;  // the argument is the URB's address itself
      std::memcpy(&target, arg->data, std::min<size_t>(sizeof target, arg->data_len));
      for (auto it = chip.waiting.begin(); it != chip.waiting.end(); ++it) {
        if ((*it)->client_addr == target) {
          reinterpret_cast<usbdevfs_urb*>((*it)->data)->status = -ENOENT;
          chip.completed.push_back(*it);
          chip.waiting.erase(it);
          umockdev_ioctl_client_complete(client, 0, 0);
          return TRUE;
        }
      }
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return TRUE;
    }
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
      if (chip.completed.empty()) {
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return TRUE;
      }
      UMockdevIoctlData* urbData = chip.completed.front();
      chip.completed.pop_front();
      UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
      umockdev_ioctl_data_set_ptr(slot, 0, urbData);
      g_object_unref(slot);
      g_object_unref(urbData);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

class LibftdiUmockdevTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "umockdev") == nullptr) {
      GTEST_SKIP() << "needs the umockdev preload: run under umockdev-wrapper";
    }
    testbed_ = umockdev_testbed_new();
    w.ctx.platform.ftdi = &io;
    w.ctx.preferences.setNumber("ftdi.timeout_ms", 200);
  }
  void TearDown() override {
    CloseAdapter(w.ctx);  // the link closes the board before the test bed goes
    io.close();
    for (auto* h : handlers_) g_object_unref(h);
    if (testbed_ != nullptr) g_object_unref(testbed_);
  }

  // An FT232H at port `port` of bus 1, with device number `devnum`.
  ScriptedChip& addChip(int port, int devnum, std::string serial) {
    auto chip = std::make_unique<ScriptedChip>();
    chip->serial = std::move(serial);
    char node[32], num[8];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
    std::snprintf(num, sizeof num, "%d", devnum);
    const std::string name = "1-" + std::to_string(port);
    gchar* sys = umockdev_testbed_add_device(
        testbed_, "usb", name.c_str(), nullptr, "busnum", "1", "devnum", num, "speed", "480",
        "bConfigurationValue", "1", "idVendor", "0403", "idProduct", "6014", nullptr, "BUSNUM",
        "001", "DEVNUM", num, "DEVNAME", node, "DEVTYPE", "usb_device", nullptr);
    const Bytes d = descriptors();
    umockdev_testbed_set_attribute_binary(
        testbed_, sys, "descriptors", const_cast<guint8*>(d.data()), static_cast<gssize>(d.size()));
    g_free(sys);
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    const std::string dir = std::string(root) + "/dev/bus/usb/001";
    g_free(root);
    g_mkdir_with_parents(dir.c_str(), 0755);
    g_file_set_contents((dir + "/" + std::string(node).substr(17)).c_str(), "", 0, nullptr);
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(handleIoctl), chip.get());
    GError* error = nullptr;
    EXPECT_TRUE(umockdev_testbed_attach_ioctl(testbed_, node, handler, &error))
        << (error ? error->message : "");
    if (error) g_error_free(error);
    handlers_.push_back(handler);
    chips_.push_back(std::move(chip));
    return *chips_.back();
  }

  testing::SimWorld w;
  LibftdiIo io;
  UMockdevTestbed* testbed_ = nullptr;
  std::vector<UMockdevIoctlBase*> handlers_;
  std::vector<std::unique_ptr<ScriptedChip>> chips_;
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
