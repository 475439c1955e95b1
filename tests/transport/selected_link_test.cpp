// Every transport through the one link: a read either brings the word the sensor sent or names
// why it failed, never a word a failed transfer left behind, and a lost link stays lost.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "registers/register_access.h"
#include "registers/register_file_slave.h"
#include "support/four_transports.h"
#include "transport/selected_link.h"

namespace vexa {
namespace {

using testing::RegisterFileSlave;
using testing::TransportLink;

// Makes the next transfer of the link's transport fail, as a pulled cable does.
void pullCable(TransportLink& link, int16_t interface) {
  if (interface == kInterfaceUsb) link.usb.unplug(0);
  if (interface == kInterfaceFtdi) link.ftdiBoard->plugged = false;
  if (interface == kInterfaceSpidev) link.spidev.messageError = ENODEV;
}

TEST(SelectedLink, AFailedReadNamesItsCauseOnceAndLeavesNoValue) {
  const struct {
    int16_t interface;
    const char* cause;  // the start of the cause, which is also the one message shown
  } cases[] = {
      {kInterfaceUsb, "Error Writing SPI"},
      {kInterfaceFtdi, "FTDI adapter: "},
      {kInterfaceSpidev, "spidev adapter: "},
  };
  for (const auto& c : cases) {
    const std::string what = TransportLink::name(c.interface);
    RegisterFileSlave slave;
    slave.words[0x04] = 0x0123;  // XGYRO_OUT
    slave.words[0x56] = 0x6A0E;  // PROD_ID
    TransportLink link(c.interface, slave);
    AppContext& ctx = link.w.ctx;
    ASSERT_TRUE(TryReadRegister(ctx, PROD_ID).ok) << what;
    ASSERT_EQ(ctx.access.LastRaw, 0x6A0E) << what;
    EXPECT_TRUE(LinkUsable(ctx)) << what;

    pullCable(link, c.interface);
    const LinkOutcome failed = TryReadRegister(ctx, XGYRO_OUT);
    EXPECT_FALSE(failed.ok) << what;
    EXPECT_EQ(failed.cause.rfind(c.cause, 0), 0u) << what << ": " << failed.cause;
    EXPECT_EQ(ctx.access.LastRaw, 0x6A0E) << what << ": nothing stored from the failed read";
    ASSERT_EQ(link.w.messages.texts().size(), 1u) << what;
    EXPECT_EQ(link.w.messages.texts()[0], failed.cause) << what;
    EXPECT_TRUE(LinkLost(ctx)) << what;

    // Lost stays lost: an error each time, no second message, nothing on the bus.
    const size_t frames = link.monitor.frames().size();
    EXPECT_FALSE(TryReadRegister(ctx, PROD_ID).ok) << what;
    EXPECT_FALSE(TryWriteRegister(ctx, SMPL_PRD, 1).ok) << what;
    EXPECT_EQ(link.w.messages.texts().size(), 1u) << what;
    EXPECT_EQ(link.monitor.frames().size(), frames) << what;
  }
}

// The port cannot tell that nothing answers; without an interface nothing moves and that is
// an error too. Rows the table does not let one read or write are refused by name.
TEST(SelectedLink, ThePortAlwaysDeliversAndNoInterfaceIsAnError) {
  RegisterFileSlave slave;
  slave.words[0x04] = 0x0123;
  TransportLink port(kInterfaceParallel, slave);
  const LinkOutcome read = TryReadRegister(port.w.ctx, XGYRO_OUT);
  EXPECT_TRUE(read.ok) << read.cause;
  EXPECT_EQ(port.w.ctx.access.LastRaw, 0x0123);
  EXPECT_FALSE(LinkLost(port.w.ctx));

  TransportLink none(kInterfaceNone, slave);
  EXPECT_EQ(TryReadRegister(none.w.ctx, XGYRO_OUT).cause, "no interface is selected");
  EXPECT_FALSE(LinkLost(none.w.ctx)) << "nothing was selected, so nothing was lost";
  EXPECT_TRUE(none.monitor.frames().empty());
  EXPECT_EQ(TryWriteRegister(port.w.ctx, XGYRO_OUT, 1).cause, "XGYRO_OUT cannot be written");
}

// A single read's reply frame: zeros on the port, the command again elsewhere; the adapters
// report the mode they were set to, the port and the card none of their own.
TEST(SelectedLink, ReadFramesAndModesPerTransport) {
  const struct {
    int16_t interface;
    uint16_t replyFrame;
    int mode;
  } cases[] = {
      {kInterfaceParallel, 0x0000, -1},
      {kInterfaceUsb, 0x0400, -1},
      {kInterfaceFtdi, 0x0400, 3},
      {kInterfaceSpidev, 0x0400, 3},
  };
  for (const auto& c : cases) {
    RegisterFileSlave slave;
    TransportLink link(c.interface, slave);
    ASSERT_TRUE(TryReadRegister(link.w.ctx, XGYRO_OUT).ok);
    EXPECT_EQ(slave.mosiWords(), (std::vector<uint16_t>{0x0400, c.replyFrame}))
        << TransportLink::name(c.interface);
    EXPECT_EQ(LinkSpiMode(link.w.ctx), c.mode) << TransportLink::name(c.interface);
  }
}

}  // namespace
}  // namespace vexa
