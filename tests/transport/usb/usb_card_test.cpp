// The card search and the card protocol, end to end through the simulated driver and card into
// a recording SPI slave, on virtual time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_usb_card.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"

namespace vexa {
namespace {

using sim::FaultMode;
using sim::SimUsbCardConfig;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

// Answers each frame with the word clocked in during the frame before (0 at first), as a
// register device answers a read in the following frame; notes frames and their start times.
class EchoSlave : public sim::SpiSlave {
 public:
  explicit EchoSlave(sim::SimClock& clock) : clock_(clock) {}
  uint16_t frameStart() override {
    starts.push_back(clock_.monotonicSeconds());
    return last_;
  }
  void frameEnd(uint16_t mosi, int bitCount) override {
    frames.push_back(mosi);
    bits.push_back(bitCount);
    last_ = mosi;
  }
  std::vector<uint16_t> frames;
  std::vector<int> bits;
  std::vector<double> starts;

 private:
  sim::SimClock& clock_;
  uint16_t last_ = 0;
};

class UsbCardTest : public ::testing::Test {
 protected:
  UsbCardTest() : driver(&w.clock), slave(w.clock) { w.ctx.platform.usb = &driver; }

  sim::SimUsbCard& plugCard(int slot, SimUsbCardConfig config = {}) {
    sim::SimUsbCard& card = driver.plug(slot, std::move(config));
    card.attach(&slave);
    return card;
  }
  // A card found and selected, with its log cleared.
  sim::SimUsbCard& selectedCard(SimUsbCardConfig config = {}) {
    sim::SimUsbCard& card = plugCard(0, std::move(config));
    FindUsbCard(w.ctx);
    card.clearLog();
    w.messages.shown.clear();
    return card;
  }
  void setTx(std::vector<int32_t> words) {
    for (size_t i = 0; i < words.size(); ++i) w.ctx.usb.TxWords[i + 1] = words[i];
  }

  testing::SimWorld w;
  sim::SimUsbDriver driver;
  EchoSlave slave;
};

TEST_F(UsbCardTest, SearchCountsRecognisedCardsAndSelectsTheFirstUsableOne) {
  struct Slot {
    int slot;
    SimUsbCardConfig config;
    bool failIdentification = false;
    bool failDescriptor = false;
  };
  SimUsbCardConfig mcp;
  mcp.productId = sim::kMcpProductId;
  SimUsbCardConfig otherProduct;
  otherProduct.productId = 0xED04;
  SimUsbCardConfig otherVendor;
  otherVendor.vendorId = 0x04B4;
  const std::string kNone = "No USB Buffers Found, Please Verify Setup and Restart";
  const std::string kNoValid = "No Valid USB Buffers Found, Please Verify Setup and Restart";
  const std::string kBoardInfo = "Error getting Board Info";

  struct Case {
    const char* name;
    std::vector<Slot> slots;
    int count;
    int selected;
    std::string boardType;
    Texts messages;
  } cases[] = {
      {"none attached", {}, 0, -1, "", {kNone}},
      {"cards at 1 and 3", {{1, {}}, {3, {}}}, 2, 1, "FIFO4", {}},
      {"MCP board", {{2, mcp}}, 1, 2, "MCP", {}},
      {"right vendor, other product", {{0, otherProduct}}, 0, -1, "", {kNone}},
      {"other vendor", {{0, otherVendor}, {1, {}}}, 1, 1, "FIFO4", {}},
      {"only card unidentifiable", {{0, {}, true}}, 1, -1, "", {kBoardInfo, kNoValid}},
      {"first card unidentifiable", {{0, {}, true}, {2, mcp}}, 2, 2, "MCP", {kBoardInfo}},
      // A device whose descriptor cannot be read must not pass for the card probed before it.
      {"descriptor request fails", {{0, {}}, {1, {}, false, true}}, 1, 0, "FIFO4", {}},
      {"descriptor fails, no other card", {{2, {}, false, true}}, 0, -1, "", {kNone}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (int s = 0; s < sim::SimUsbDriver::kSlots; ++s) driver.unplug(s);
    for (const auto& s : c.slots) {
      auto& card = plugCard(s.slot, s.config);
      card.failIdentification(s.failIdentification);
      if (s.failDescriptor) card.failRequest(usbreq::kGetDeviceDescriptor);
    }
    w.messages.shown.clear();
    FindUsbCard(w.ctx);

    EXPECT_EQ(w.ctx.usb.UsbCardCount, c.count);
    EXPECT_EQ(w.ctx.usb.SelectedCardIndex, c.selected);
    EXPECT_EQ(w.ctx.usb.SelectedCard.Present != 0, c.selected >= 0);
    if (c.selected >= 0) {
      EXPECT_EQ(w.ctx.usb.SelectedCard.Name, "Ezusb-" + std::to_string(c.selected));
      EXPECT_EQ(w.ctx.usb.SelectedCard.BoardType, c.boardType);
    }
    EXPECT_EQ(w.messages.texts(), c.messages);
    for (const auto& m : w.messages.shown) EXPECT_EQ(m.title, kApplicationTitle);
    EXPECT_EQ(driver.openHandles(), 0);
  }
}

TEST_F(UsbCardTest, AnOverriddenVendorIdRecognisesACardFlashedWithIt) {
  SimUsbCardConfig config;
  config.vendorId = 0x1234;
  plugCard(0, config);
  FindUsbCard(w.ctx);
  EXPECT_EQ(w.ctx.usb.UsbCardCount, 0);

  w.ctx.usb.CardVendorId = 0x1234;
  FindUsbCard(w.ctx);
  EXPECT_EQ(w.ctx.usb.UsbCardCount, 1);
  EXPECT_EQ(w.ctx.usb.SelectedCardIndex, 0);
}

TEST_F(UsbCardTest, IdentificationReadsDescriptorsFirmwareAndLinkSpeed) {
  struct Case {
    uint16_t packetSize;
    uint8_t major, minor;
    std::string descriptor1, descriptor2;
    const char* speed;
    uint8_t wordDelay;
    float firmware;
  } cases[] = {
      {512, 3, 7, "Vexa SPI", "Buffer B", "2", 10, 3.7f},
      {64, 1, 12, "", "X", "1.1", 35, 2.2f},  // an empty descriptor is "", not "None"
      {65, 0, 0, "A", "", "2", 10, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.packetSize);
    SimUsbCardConfig config;
    config.pipe3PacketSize = c.packetSize;
    config.firmwareMajor = c.major;
    config.firmwareMinor = c.minor;
    config.descriptor1 = c.descriptor1;
    config.descriptor2 = c.descriptor2;
    plugCard(0, config);
    w.ctx.usb.WordDelay = 99;
    FindUsbCard(w.ctx);
    const UsbCardInfo& card = w.ctx.usb.UsbCards[0];
    EXPECT_EQ(card.Descriptor0, c.descriptor1);
    EXPECT_EQ(card.Descriptor1, c.descriptor2);
    EXPECT_FLOAT_EQ(card.FirmwareRev, c.firmware);
    EXPECT_EQ(card.UsbSpeed, c.speed);
    EXPECT_EQ(w.ctx.usb.WordDelay, c.wordDelay);
    EXPECT_EQ(driver.card(0)->pipe0Writes(), std::vector<Bytes>{{0x00}});
    EXPECT_EQ(driver.card(0)->wordDelay(), 25) << "identification must not send the delay";
    EXPECT_TRUE(w.messages.shown.empty());
  }
}

TEST_F(UsbCardTest, EachIdentificationStepThatFailsLeavesTheCardNotPresent) {
  const uint32_t codes[] = {usbreq::kGetStringDescriptor, usbreq::kBulkWrite, usbreq::kBulkRead,
                            usbreq::kGetPipeInfo};
  for (uint32_t code : codes) {
    SCOPED_TRACE(code);
    plugCard(0).failRequest(code);
    w.messages.shown.clear();
    FindUsbCard(w.ctx);
    EXPECT_EQ(w.ctx.usb.UsbCardCount, 1);
    EXPECT_EQ(w.ctx.usb.UsbCards[0].Present, 0);
    EXPECT_EQ(w.ctx.usb.SelectedCardIndex, -1);
    EXPECT_EQ(w.messages.texts(), (Texts{"Error getting Board Info",
                                         "No Valid USB Buffers Found, Please Verify Setup and "
                                         "Restart"}));
    EXPECT_EQ(driver.openHandles(), 0);
  }
}

TEST_F(UsbCardTest, CommandsPutTheirExactBytesOnTheWire) {
  auto& card = selectedCard();
  UsbState& usb = w.ctx.usb;

  // A register read of address 0x04: the same read command twice on channel 1.
  setTx({0x0400, 0x0400});
  uint8_t two = 2;
  UsbTransfer(w.ctx, two);
  EXPECT_EQ(card.pipe0Writes().back(), (Bytes{0x0D, 0x01, 0x02, 0x04, 0x00, 0x04, 0x00}));
  EXPECT_EQ(card.pipe1Reads().back(), 4u);

  // Only the low 16 bits of a word go out, high byte first.
  setTx({0x1B712, -1});
  usb.InputPolarityPos = 0;
  UsbTransfer(w.ctx, two);
  EXPECT_EQ(card.pipe0Writes().back(), (Bytes{0x0E, 0x01, 0x02, 0xB7, 0x12, 0xFF, 0xFF}));
  usb.InputPolarityPos = -1;

  uint8_t sixteen = 16;
  UsbTransfer(w.ctx, sixteen);
  EXPECT_EQ(card.pipe0Writes().back().size(), 35u);
  EXPECT_EQ(card.pipe1Reads().back(), 32u);
  EXPECT_EQ(usb.WordCount, 16);

  uint8_t delay = 0;
  UsbSetWordDelay(w.ctx, delay);
  EXPECT_EQ(card.pipe0Writes().back(), (Bytes{0x0B, 0x01}));
  EXPECT_EQ(delay, 1);
  EXPECT_EQ(usb.WordDelay, 1);
  EXPECT_EQ(card.wordDelay(), 1);

  uint8_t bits = 0x28;
  UsbSetStaticBits(w.ctx, bits);
  EXPECT_EQ(card.pipe0Writes().back(), (Bytes{0x0C, 0x28}));
  EXPECT_EQ(usb.StaticBits, 0x28);

  card.setStaticBits(0xFF);
  delay = 25;
  UsbSetWordDelay(w.ctx, delay);
  UsbReadSpiSetup(w.ctx);
  EXPECT_EQ(card.pipe0Writes().back(), (Bytes{0x01}));
  EXPECT_EQ(card.pipe1Reads().back(), 2u);
  EXPECT_EQ(usb.WordDelay, 25);
  EXPECT_EQ(usb.StaticBits, 0x78);

  EXPECT_EQ(card.protocolErrors(), 0);
  EXPECT_TRUE(w.messages.shown.empty());
  EXPECT_EQ(driver.openHandles(), 0);
}

TEST_F(UsbCardTest, ChipSelectChannelIsClampedAndOnlyChannelOneReachesTheSlave) {
  UsbState& usb = w.ctx.usb;
  struct Case {
    uint8_t channel, sent;
    uint16_t idle;
    bool reachesSlave;
  } cases[] = {{0, 1, 0xFFFF, true},  {1, 1, 0xFFFF, true},  {2, 2, 0xFFFF, false},
               {5, 5, 0xFFFF, false}, {9, 5, 0xFFFF, false}, {3, 3, 0x0000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.channel));
    SimUsbCardConfig config;
    config.idleChannelWord = c.idle;
    auto& fresh = selectedCard(config);
    slave.frames.clear();
    usb.CselChannel = c.channel;
    setTx({0x3A00, 0x1234, 0x0000});
    uint8_t three = 3;
    UsbTransfer(w.ctx, three);
    EXPECT_EQ(usb.CselChannel, c.sent);
    EXPECT_EQ(fresh.pipe0Writes().back()[1], c.sent);
    if (c.reachesSlave) {
      EXPECT_EQ(slave.frames, (std::vector<uint16_t>{0x3A00, 0x1234, 0x0000}));
      EXPECT_EQ(slave.bits, std::vector<int>(slave.bits.size(), 16));
      // Each frame answers with the word of the frame before.
      EXPECT_EQ(usb.RxWords[2], 0x3A00);
      EXPECT_EQ(usb.RxWords[3], 0x1234);
    } else {
      EXPECT_TRUE(slave.frames.empty());
      for (int i = 1; i <= 3; ++i) EXPECT_EQ(usb.RxWords[i], c.idle);
    }
  }
}

TEST_F(UsbCardTest, NegativeInputPolarityComplementsTheWordsRead) {
  selectedCard();
  setTx({0x0F0F, 0x1234});
  w.ctx.usb.InputPolarityPos = 0;
  uint8_t two = 2;
  UsbTransfer(w.ctx, two);
  EXPECT_EQ(w.ctx.usb.RxWords[1], 0xFFFF);
  EXPECT_EQ(w.ctx.usb.RxWords[2], 0xF0F0);
}

TEST_F(UsbCardTest, WordsAreSpacedByTheCardsWordDelayOnVirtualTime) {
  selectedCard();
  uint8_t delay = 40;
  UsbSetWordDelay(w.ctx, delay);
  setTx({1, 2, 3});
  uint8_t three = 3;
  const double before = w.clock.monotonicSeconds();
  UsbTransfer(w.ctx, three);
  ASSERT_EQ(slave.starts.size(), 3u);
  EXPECT_NEAR(slave.starts[1] - slave.starts[0], 16e-6 + 40e-6, 1e-9);
  EXPECT_NEAR(slave.starts[2] - slave.starts[1], 16e-6 + 40e-6, 1e-9);
  // The command's request at high speed, then the three frames and two gaps, which outlast the
  // reply's own request.
  EXPECT_NEAR(w.clock.monotonicSeconds() - before, 125e-6 + 3 * 16e-6 + 2 * 40e-6, 1e-9);
}

TEST_F(UsbCardTest, AFailedCommandShowsItsMessageOnceAndLeavesTheCardUnusable) {
  using Op = void (*)(AppContext&);
  const Op transfer = [](AppContext& ctx) {
    uint8_t two = 2;
    UsbTransfer(ctx, two);
  };
  const Op setDelay = [](AppContext& ctx) {
    uint8_t d = 7;
    UsbSetWordDelay(ctx, d);
  };
  const Op setBits = [](AppContext& ctx) {
    uint8_t b = 0x30;
    UsbSetStaticBits(ctx, b);
  };
  const Op readSetup = [](AppContext& ctx) { UsbReadSpiSetup(ctx); };
  struct Case {
    const char* name;
    Op op;
    uint32_t failing;  // 0: the card is pulled out instead
    FaultMode mode;
    Texts messages;
  } cases[] = {
      {"transfer, write", transfer, usbreq::kBulkWrite, FaultMode::Always, {"Error Writing SPI"}},
      {"transfer, pipe info",
       transfer,
       usbreq::kGetPipeInfo,
       FaultMode::Once,
       {"Error Writing SPI"}},
      {"transfer, read", transfer, usbreq::kBulkRead, FaultMode::Always, {"Error Reading SPI"}},
      {"transfer, unplugged", transfer, 0, FaultMode::Always, {"Error Writing SPI"}},
      {"delay", setDelay, usbreq::kBulkWrite, FaultMode::Always, {"Error Setting up SPI"}},
      {"bits", setBits, usbreq::kBulkWrite, FaultMode::Always, {"Error Setting SPI Bits"}},
      {"set-up, read", readSetup, usbreq::kBulkRead, FaultMode::Always, {"Error Reading SPI"}},
      // The command never reached the card, so its reply is missing too.
      {"set-up, write",
       readSetup,
       usbreq::kBulkWrite,
       FaultMode::Once,
       {"Error Setting up SPI", "Error Reading SPI"}},
      {"set-up, unplugged",
       readSetup,
       0,
       FaultMode::Always,
       {"Error Setting up SPI", "Error Reading SPI"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto& card = selectedCard();
    // A good transfer first, so there is a reply to keep.
    setTx({0x0400, 0x0400});
    transfer(w.ctx);
    card.clearLog();
    const auto rxBefore = w.ctx.usb.RxWords;
    const auto staticBefore = w.ctx.usb.StaticBits;

    if (c.failing == 0) {
      driver.unplug(0);
    } else {
      card.failRequest(c.failing, c.mode);
    }
    c.op(w.ctx);
    EXPECT_EQ(w.messages.texts(), c.messages);
    EXPECT_EQ(w.ctx.usb.SelectedCard.Present, 0);
    EXPECT_EQ(w.ctx.usb.RxWords, rxBefore);
    if (c.op == setBits) {
      EXPECT_EQ(w.ctx.usb.StaticBits, 0x30);  // kept although not sent
    }
    if (c.op == readSetup) {
      EXPECT_EQ(w.ctx.usb.WordDelay, 0);
      EXPECT_EQ(w.ctx.usb.StaticBits, staticBefore);
    }
    EXPECT_EQ(driver.openHandles(), 0);

    // From now on nothing is sent and nothing is shown, until the card is found again.
    card.clearFaults();
    driver.replug(0);
    const size_t writes = card.pipe0Writes().size();
    const int opens = driver.opens();
    for (Op op : {transfer, setDelay, setBits, readSetup}) op(w.ctx);
    EXPECT_EQ(card.pipe0Writes().size(), writes);
    EXPECT_EQ(driver.opens(), opens);
    EXPECT_EQ(w.messages.texts(), c.messages);
    EXPECT_EQ(w.ctx.usb.RxWords, rxBefore);

    FindUsbCard(w.ctx);
    ASSERT_NE(w.ctx.usb.SelectedCard.Present, 0);
    setTx({0x1200, 0x1200});
    transfer(w.ctx);
    EXPECT_EQ(w.ctx.usb.RxWords[2], 0x1200);
  }
}

TEST_F(UsbCardTest, ACardPulledOutBetweenTransfersFailsTheNextOneWithoutHanging) {
  selectedCard();
  setTx({0x0400, 0x0400});
  uint8_t two = 2;
  UsbTransfer(w.ctx, two);
  EXPECT_EQ(w.ctx.usb.RxWords[2], 0x0400);

  driver.unplug(0);
  setTx({0x0600, 0x0600});
  UsbTransfer(w.ctx, two);
  EXPECT_EQ(w.messages.texts(), Texts{"Error Writing SPI"});
  EXPECT_EQ(w.ctx.usb.RxWords[2], 0x0400) << "the stale reply stays";

  FindUsbCard(w.ctx);
  EXPECT_EQ(w.messages.texts().back(), "No USB Buffers Found, Please Verify Setup and Restart");
  EXPECT_EQ(w.ctx.usb.SelectedCardIndex, -1);
}

TEST_F(UsbCardTest, NothingHappensWithoutADriver) {
  w.ctx.platform.usb = nullptr;
  FindUsbCard(w.ctx);
  EXPECT_EQ(w.ctx.usb.UsbCardCount, 0);
  EXPECT_EQ(GetUsbString(w.ctx, 0, 1), "None");
  EXPECT_EQ(GetPipePacketSize(w.ctx, 0, 3), 0);
  uint8_t b[2];
  int32_t length = 2;
  EXPECT_EQ(PipeTransfer(w.ctx, 0, 1, b, length), -2);
}

}  // namespace
}  // namespace vexa
