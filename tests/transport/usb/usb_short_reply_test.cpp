// Replies that arrive short, and transfer counts outside what the card's buffers hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_usb_card.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"

namespace vexa {
namespace {

using Texts = std::vector<std::string>;

class UsbShortReply : public ::testing::Test {
 protected:
  UsbShortReply() : driver(&w.clock) { w.ctx.platform.usb = &driver; }
  sim::SimUsbCard& selectedCard() {
    sim::SimUsbCard& card = driver.plug(0);
    FindUsbCard(w.ctx);
    card.clearLog();
    w.messages.shown.clear();
    return card;
  }
  testing::SimWorld w;
  sim::SimUsbDriver driver;
};

TEST_F(UsbShortReply, AShortReplyIsAFailedRead) {
  using Op = void (*)(AppContext&);
  struct Case {
    const char* name;
    Op op;
  } cases[] = {
      {"transfer",
       [](AppContext& ctx) {
         uint8_t two = 2;
         UsbTransfer(ctx, two);
       }},
      {"read set-up", [](AppContext& ctx) { UsbReadSpiSetup(ctx); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    selectedCard().shortenReads(1);
    w.ctx.usb.RxWords[2] = 0x1234;
    c.op(w.ctx);
    EXPECT_EQ(w.messages.texts(), Texts{"Error Reading SPI"});
    EXPECT_EQ(w.ctx.usb.SelectedCard.Present, 0);
    EXPECT_EQ(w.ctx.usb.RxWords[2], 0x1234) << "no word is made up of missing bytes";
    EXPECT_EQ(driver.openHandles(), 0);
  }
}

TEST_F(UsbShortReply, AShortFirmwareVersionFailsTheIdentification) {
  driver.plug(0).shortenReads(1);
  FindUsbCard(w.ctx);
  EXPECT_EQ(w.ctx.usb.UsbCards[0].Present, 0);
  EXPECT_EQ(w.messages.texts(),
            (Texts{"Error getting Board Info",
                   "No Valid USB Buffers Found, Please Verify Setup and Restart"}));
}

TEST_F(UsbShortReply, CountsOutsideOneToSixteenSendNothing) {
  for (int count : {0, 17, 255}) {
    SCOPED_TRACE(count);
    sim::SimUsbCard& card = selectedCard();
    w.ctx.usb.WordCount = 5;
    uint8_t n = static_cast<uint8_t>(count);
    UsbTransfer(w.ctx, n);
    EXPECT_TRUE(card.pipe0Writes().empty());
    EXPECT_TRUE(w.messages.shown.empty());
    EXPECT_NE(w.ctx.usb.SelectedCard.Present, 0);
    EXPECT_EQ(w.ctx.usb.WordCount, count == 0 ? 0 : 5) << "a refused count is not stored";
  }
}

}  // namespace
}  // namespace vexa
