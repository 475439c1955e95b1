// The libusb driver against scripted USB devices: umockdev fakes sysfs, udev and the usbfs
// device nodes, and the handler below plays the card on the usbfs ioctls (URB submit, reap,
// discard), so the real libusb code path runs. Run under umockdev-wrapper.
#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/libusb_driver.h"
#include "platform/linux/usbfs_mock.h"
#include "registers/register_access.h"
#include "registers/register_pipeline.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"

namespace vexa {
namespace {

using testing::Bytes;
using testing::put16;
using testing::stringDescriptor;
constexpr uint16_t kVendor = kDefaultCardVendorId;

// One card on the bus, as its usbfs node answers.
struct ScriptedCard : testing::UsbfsDevice {
  std::string product;  // string descriptor 1
  std::string serial;   // string descriptor 2
  bool silent = false;  // commands are taken but never answered
  bool gone = false;    // unplugged: every URB fails as on a vanished device
  int opens = 0;        // each open of the node asks its capabilities first
  int claims = 0;
  int releases = 0;
  std::vector<Bytes> writes;
  std::deque<uint8_t> reply;

 protected:
  Intercept intercept(unsigned long request, UMockdevIoctlClient* client) override {
    if (request == USBDEVFS_GET_CAPABILITIES) ++opens;
    if (request == USBDEVFS_CLAIMINTERFACE || request == USBDEVFS_DISCONNECT_CLAIM) ++claims;
    if (request == USBDEVFS_RELEASEINTERFACE) ++releases;
    if (request == USBDEVFS_SETCONFIGURATION) return Intercept::Unknown;
    if (request == USBDEVFS_SUBMITURB && gone) {
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return Intercept::Answered;
    }
    return Intercept::Pass;
  }
  bool control(const uint8_t* setup, Bytes& answer) override {
    const uint8_t index = setup[2];
    if (setup[1] == 6 && setup[3] == 3) {  // GET_DESCRIPTOR, string
      answer = index == 0   ? Bytes{4, 3, 0x09, 0x04}
               : index == 1 ? stringDescriptor(product)
                            : stringDescriptor(serial);
    }
    return !answer.empty();  // a request the card does not know: stall
  }
  // The card's side of a bulk OUT: the protocol's version and transfer commands.
  void bulkOut(const Bytes& bytes) override {
    writes.push_back(bytes);
    if (silent || bytes.empty()) return;
    reply.clear();
    if (bytes[0] == 0x00) {
      reply = {3, 7};
    } else if ((bytes[0] == 0x0D || bytes[0] == 0x0E) && bytes.size() >= 3) {
      // Answers each word with its bits reversed in byte order: high and low swapped.
      for (size_t i = 3; i + 1 < bytes.size(); i += 2) {
        reply.push_back(bytes[i + 1]);
        reply.push_back(bytes[i]);
      }
    }
  }
  bool hasReply() override { return !reply.empty(); }
  Bytes takeReply(size_t capacity) override {
    Bytes out;
    while (!reply.empty() && out.size() < capacity) {
      out.push_back(reply.front());
      reply.pop_front();
    }
    return out;
  }
};

// Device, configuration, interface and four bulk endpoint descriptors, as sysfs shows them.
Bytes descriptors(uint16_t product, uint16_t pipe3PacketSize, uint16_t vendor = kVendor) {
  Bytes d = {18, 1};
  put16(d, 0x0200);
  d.insert(d.end(), {0xFF, 0, 0, 64});
  put16(d, vendor);
  put16(d, product);
  put16(d, 0x0001);
  d.insert(d.end(), {1, 2, 0, 1});
  d.insert(d.end(), {9, 2, 9 + 9 + 4 * 7, 0, 1, 1, 0, 0x80, 50});
  d.insert(d.end(), {9, 4, 0, 0, 4, 0xFF, 0, 0, 0});
  const uint8_t endpoints[] = {0x02, 0x86, 0x04, 0x88};
  for (uint8_t ep : endpoints) {
    d.insert(d.end(), {7, 5, ep, 2});
    put16(d, ep == 0x88 ? pipe3PacketSize : 512);
    d.push_back(0);
  }
  return d;
}

class LibusbUmockdevTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::umockdevPreloaded()) {
      GTEST_SKIP() << "needs the umockdev preload: run under umockdev-wrapper";
    }
    bus_ = std::make_unique<testing::UsbfsBus>();
  }
  void TearDown() override {
    driver_.reset();
    bus_.reset();
  }

  // A card at port `port` of bus 1, with device number `devnum`.
  ScriptedCard& addCard(int port, int devnum, uint16_t product, std::string productName,
                        uint16_t pipe3PacketSize = 512, uint16_t vendor = kVendor) {
    auto card = std::make_unique<ScriptedCard>();
    card->product = std::move(productName);
    card->serial = "SN" + std::to_string(devnum);
    cards_.push_back(card.get());
    return bus_->add(std::move(card), port, devnum, {},
                     descriptors(product, pipe3PacketSize, vendor));
  }

  LibusbDriver& driver(unsigned timeoutMs = 200) {
    driver_ = std::make_unique<LibusbDriver>(
        &w.diagnostics, [this] { return w.ctx.usb.CardVendorId; }, timeoutMs);
    w.ctx.platform.usb = driver_.get();
    return *driver_;
  }

  testing::SimWorld w;
  std::unique_ptr<testing::UsbfsBus> bus_;
  std::vector<ScriptedCard*> cards_;  // owned by the bus
  std::unique_ptr<LibusbDriver> driver_;
};

TEST_F(LibusbUmockdevTest, CardsAreFoundIdentifiedAndNamedInPortOrder) {
  // Plugged in the reverse order of their ports: names follow the ports, not the addresses.
  addCard(2, 2, 0xEF00, "Second");
  addCard(1, 3, 0xED03, "First", 64);
  driver();
  FindUsbCard(w.ctx);

  EXPECT_EQ(w.messages.texts(), std::vector<std::string>{}) << w.diagnostics.lastCause();
  EXPECT_EQ(w.ctx.usb.UsbCardCount, 2);
  EXPECT_EQ(w.ctx.usb.SelectedCardIndex, 0);
  const UsbCardInfo& first = w.ctx.usb.UsbCards[0];
  EXPECT_EQ(first.BoardType, "FIFO4");
  EXPECT_EQ(first.Descriptor0, "First");
  EXPECT_EQ(first.Descriptor1, "SN3");
  EXPECT_FLOAT_EQ(first.FirmwareRev, 3.7f);
  EXPECT_EQ(first.UsbSpeed, "1.1");
  const UsbCardInfo& second = w.ctx.usb.UsbCards[1];
  EXPECT_EQ(second.BoardType, "MCP");
  EXPECT_EQ(second.Descriptor0, "Second");
  EXPECT_EQ(second.UsbSpeed, "2");
  EXPECT_EQ(cards_[1]->writes, std::vector<Bytes>{{0x00}});
}

TEST_F(LibusbUmockdevTest, ATransferCrossesTheRealBulkPipes) {
  ScriptedCard& card = addCard(1, 2, 0xED03, "Card");
  driver();
  FindUsbCard(w.ctx);
  ASSERT_NE(w.ctx.usb.SelectedCard.Present, 0) << w.diagnostics.lastCause();

  w.ctx.usb.TxWords[1] = 0x0400;
  w.ctx.usb.TxWords[2] = 0xB712;
  uint8_t two = 2;
  UsbTransfer(w.ctx, two);
  EXPECT_EQ(card.writes.back(), (Bytes{0x0D, 0x01, 0x02, 0x04, 0x00, 0xB7, 0x12}));
  EXPECT_EQ(w.ctx.usb.RxWords[1], 0x0004);
  EXPECT_EQ(w.ctx.usb.RxWords[2], 0x12B7);
  EXPECT_TRUE(w.messages.shown.empty());
}

TEST_F(LibusbUmockdevTest, ACardThatNeverAnswersTimesOutWithItsCause) {
  ScriptedCard& card = addCard(1, 2, 0xED03, "Card");
  driver(100);
  FindUsbCard(w.ctx);
  ASSERT_NE(w.ctx.usb.SelectedCard.Present, 0) << w.diagnostics.lastCause();

  {
    std::lock_guard<std::mutex> hold(card.lock);
    card.silent = true;
  }
  uint8_t two = 2;
  UsbTransfer(w.ctx, two);
  EXPECT_EQ(w.messages.texts(), std::vector<std::string>{"Error Reading SPI"});
  EXPECT_EQ(w.ctx.usb.SelectedCard.Present, 0);
  const std::string cause = w.diagnostics.lastCause();
  EXPECT_NE(cause.find("LIBUSB_ERROR_TIMEOUT"), std::string::npos) << cause;
  EXPECT_NE(cause.find("pipe 1 (endpoint 0x86) within 100 ms"), std::string::npos) << cause;
}

TEST_F(LibusbUmockdevTest, NoDeviceWithTheVendorIdIsNamedAsTheCause) {
  addCard(1, 2, 0xED03, "Card");
  driver();
  w.ctx.usb.CardVendorId = 0x1111;
  FindUsbCard(w.ctx);
  EXPECT_EQ(w.messages.texts(),
            std::vector<std::string>{"No USB Buffers Found, Please Verify Setup and Restart"});
  EXPECT_EQ(w.diagnostics.lastCause(),
            "no USB device with vendor ID 0x1111 is attached: plug in the card, or set the vendor "
            "ID that the card carries");
}

// A program run: the search at start, the card's set-up, then a long read loop, one register
// at a time and pipelined. The bus is listed once and the card opened and claimed once; it is
// let go when the program ends.
TEST_F(LibusbUmockdevTest, ACardStaysOpenAndClaimedForTheWholeRun) {
  ScriptedCard& card = addCard(1, 2, 0xED03, "Card");
  LibusbDriver& d = driver();
  w.ctx.settings.Interface = kInterfaceUsb;
  FindUsbCard(w.ctx);
  ASSERT_NE(w.ctx.usb.SelectedCard.Present, 0) << w.diagnostics.lastCause();
  uint8_t bits = w.ctx.usb.StaticBits, delay = w.ctx.usb.WordDelay;
  UsbSetStaticBits(w.ctx, bits);
  UsbSetWordDelay(w.ctx, delay);
  std::vector<int16_t> outputs;
  for (int16_t i = SUPPLY_OUT; i <= AUX_ADC; ++i) outputs.push_back(i);
  for (int pass = 0; pass < 20; ++pass) {
    for (int16_t i : outputs) ReadRegister(w.ctx, i);
    ReadRegisterList(w.ctx, outputs, true);
  }
  EXPECT_TRUE(w.messages.shown.empty()) << w.diagnostics.lastCause();
  EXPECT_EQ(card.writes.size(), 1u + 2u + 20u * 13u) << "version, set-up, reads";
  EXPECT_EQ(d.scans(), 1);
  EXPECT_EQ(d.opens(), 1);
  EXPECT_EQ(card.opens, 1);
  EXPECT_EQ(card.claims, 1);
  EXPECT_EQ(card.releases, 0);
  driver_.reset();
  EXPECT_EQ(card.releases, 1) << "closed when the program ends";
}

// Pulled out between two reads: the next request fails with its message and closes the card;
// a search after it is plugged back lists the bus again and opens it anew.
TEST_F(LibusbUmockdevTest, AnUnpluggedCardFailsItsNextRequestAndIsClosed) {
  ScriptedCard& card = addCard(1, 2, 0xED03, "Card");
  LibusbDriver& d = driver();
  w.ctx.settings.Interface = kInterfaceUsb;
  FindUsbCard(w.ctx);
  ReadRegister(w.ctx, XGYRO_OUT);
  ASSERT_TRUE(w.messages.shown.empty()) << w.diagnostics.lastCause();

  card.gone = true;
  ReadRegisterList(w.ctx, {XGYRO_OUT, YGYRO_OUT}, true);
  EXPECT_EQ(w.messages.texts(), std::vector<std::string>{"Error Writing SPI"});
  EXPECT_NE(w.diagnostics.lastCause().find("LIBUSB_ERROR_NO_DEVICE"), std::string::npos)
      << w.diagnostics.lastCause();
  EXPECT_EQ(w.ctx.usb.SelectedCard.Present, 0);
  EXPECT_EQ(card.releases, 1) << "closed after the failed request";

  card.gone = false;
  FindUsbCard(w.ctx);
  ASSERT_NE(w.ctx.usb.SelectedCard.Present, 0) << w.diagnostics.lastCause();
  ReadRegister(w.ctx, XGYRO_OUT);
  EXPECT_EQ(w.messages.shown.size(), 1u);
  EXPECT_EQ(d.scans(), 2);
  EXPECT_EQ(d.opens(), 2);
  EXPECT_EQ(card.claims, 2);
}

// Another product that carries the card's vendor ID is only looked at by a search: it is let go
// at once, not held (its kernel driver detached) for the rest of the run; the card is kept.
TEST_F(LibusbUmockdevTest, ASearchKeepsOnlyTheCardOpen) {
  ScriptedCard& stranger = addCard(1, 2, 0x1234, "Stranger");
  ScriptedCard& card = addCard(2, 3, 0xED03, "Card");
  driver();
  FindUsbCard(w.ctx);
  ASSERT_EQ(w.ctx.usb.SelectedCard.Descriptor0, "Card") << w.diagnostics.lastCause();
  EXPECT_EQ(stranger.claims, 1);
  EXPECT_EQ(stranger.releases, 1) << "let go after the search looked at it";
  EXPECT_EQ(card.claims, 1);
  EXPECT_EQ(card.releases, 0) << "kept for the next operation";
}

// A search that no longer finds the card kept open under its name lets go of it, and opens the
// card that now carries the name (here: the vendor ID was changed between two searches).
TEST_F(LibusbUmockdevTest, ASearchLetsGoOfACardNoLongerFoundUnderItsName) {
  ScriptedCard& kept = addCard(2, 2, 0xEF00, "Kept");
  ScriptedCard& other = addCard(1, 3, 0xED03, "Other", 512, 0x1234);
  LibusbDriver& d = driver();
  FindUsbCard(w.ctx);
  ASSERT_EQ(w.ctx.usb.SelectedCard.Descriptor0, "Kept") << w.diagnostics.lastCause();
  FindUsbCard(w.ctx);
  EXPECT_EQ(kept.claims, 1) << "still the same card under the same name";
  EXPECT_EQ(kept.releases, 0);

  w.ctx.usb.CardVendorId = 0x1234;
  FindUsbCard(w.ctx);
  EXPECT_EQ(w.ctx.usb.SelectedCard.Descriptor0, "Other") << w.diagnostics.lastCause();
  EXPECT_EQ(w.ctx.usb.UsbCardCount, 1);
  EXPECT_EQ(kept.releases, 1);
  EXPECT_EQ(other.claims, 1);
  EXPECT_EQ(d.scans(), 3);
  EXPECT_EQ(d.opens(), 2);
}

}  // namespace
}  // namespace vexa
