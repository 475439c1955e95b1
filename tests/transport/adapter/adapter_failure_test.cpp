// How the FTDI and spidev transports fail: each cause with its fix in one message, the adapter
// left unusable, and the register reads after it quiet and stale.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "registers/register_access.h"
#include "registers/register_file_slave.h"
#include "support/four_transports.h"

namespace vexa {
namespace {

using testing::RegisterFileSlave;
using testing::TransportLink;

const std::string kDefaultIds = "0403:6014, 0403:6010, 0403:6011";

TEST(AdapterFailure, OpeningNamesTheCauseAndTheFix) {
  const struct {
    const char* what;
    int16_t interface;
    std::function<void(TransportLink&)> arrange;
    std::string message;
  } cases[] = {
      {"no board", kInterfaceFtdi, [](TransportLink& l) { l.ftdiBoard->plugged = false; },
       "FTDI adapter: no FTDI board with the IDs " + kDefaultIds +
           " is attached: plug it in, check `lsusb`, or choose the board found in Interface > "
           "FTDI"},
      {"another serial", kInterfaceFtdi,
       [](TransportLink& l) { l.w.ctx.preferences.setText("ftdi.serial", "OTHER"); },
       "FTDI adapter: no FTDI board with the IDs " + kDefaultIds +
           " and serial OTHER is attached: plug it in, check `lsusb`, or choose the board found "
           "in Interface > FTDI"},
      {"no permission", kInterfaceFtdi, [](TransportLink& l) { l.ftdiBoard->permission = false; },
       "FTDI adapter: no permission on /dev/bus/usb/001/002: install the udev rules (see "
       "README) or join the plugdev group, then replug the board"},
      {"kernel driver", kInterfaceFtdi,
       [](TransportLink& l) { l.ftdiBoard->kernelDriverBound = true; },
       "FTDI adapter: the ftdi_sio kernel driver holds interface A of 1-2: unbind it (`sudo "
       "rmmod ftdi_sio`, or write the interface to /sys/bus/usb/drivers/ftdi_sio/unbind), or "
       "install the udev rules that let the program detach it; if another program has the board "
       "open, close it"},
      {"interface B of a 232H", kInterfaceFtdi,
       [](TransportLink& l) { l.w.ctx.preferences.setText("ftdi.interface", "B"); },
       "FTDI adapter: the board at 1-2 has no interface B with an MPSSE engine: choose "
       "interface A"},
      {"interface B of a 2232D", kInterfaceFtdi,
       [](TransportLink& l) {
         l.ftdiBoard->info.chip = FtdiChip::Ft2232D;
         l.w.ctx.preferences.setText("ftdi.interface", "B");
       },
       "FTDI adapter: the FT2232D at 1-2 has one MPSSE engine, on interface A; its interface B "
       "is a serial port that cannot clock SPI: wire the sensor to the ADBUS pins and choose "
       "interface A"},
      {"silent engine", kInterfaceFtdi, [](TransportLink& l) { l.ftdiBoard->silent = true; },
       "FTDI adapter: the FTDI board at 1-2 did not answer within 1000 ms: check its USB cable "
       "and power, then choose it again"},
      {"no node", kInterfaceSpidev,
       [](TransportLink& l) { l.w.ctx.preferences.setText("spidev.device", "/dev/spidev9.9"); },
       "spidev adapter: /dev/spidev9.9 does not exist: enable the SPI controller and its "
       "spidev device (device tree overlay), or choose another node"},
      {"no permission", kInterfaceSpidev,
       [](TransportLink& l) { l.spidev.openErrors["/dev/spidev0.0"] = EACCES; },
       "spidev adapter: no permission on /dev/spidev0.0: add your user to the group that owns "
       "it (often spi) or install the udev rules (see README), then log in again"},
  };
  for (const auto& c : cases) {
    RegisterFileSlave slave;
    TransportLink link(kInterfaceNone, slave);
    c.arrange(link);
    link.w.ctx.settings.Interface = c.interface;
    EXPECT_FALSE(OpenAdapter(link.w.ctx, c.interface)) << c.what;
    EXPECT_EQ(link.w.messages.texts(), std::vector<std::string>{c.message}) << c.what;
    EXPECT_TRUE(AdapterLost(link.w.ctx)) << c.what;
    // Reads after it send nothing, say nothing more and read 0.
    ReadRegister(link.w.ctx, PROD_ID);
    EXPECT_EQ(link.w.ctx.access.LastRaw, 0) << c.what;
    EXPECT_EQ(link.w.messages.shown.size(), 1u) << c.what;
    EXPECT_TRUE(link.monitor.frames().empty()) << c.what;
  }
}

TEST(AdapterFailure, ATransferThatFailsReportsOnceAndLeavesTheLastValue) {
  const struct {
    const char* what;
    int16_t interface;
    std::function<void(TransportLink&)> fault;
    std::string message;
  } cases[] = {
      {"unplugged", kInterfaceFtdi, [](TransportLink& l) { l.ftdiBoard->plugged = false; },
       "FTDI adapter: the FTDI board at 1-2 was unplugged: plug it in and choose it again in "
       "Interface > FTDI"},
      {"read times out", kInterfaceFtdi, [](TransportLink& l) { l.ftdiBoard->silent = true; },
       "FTDI adapter: the FTDI board at 1-2 did not answer within 1000 ms: check its USB cable "
       "and power, then choose it again"},
      {"transfer times out", kInterfaceSpidev,
       [](TransportLink& l) { l.spidev.messageError = ETIMEDOUT; },
       "spidev adapter: an SPI transfer on /dev/spidev0.0 timed out: check the wiring and the "
       "sensor's supply"},
      {"controller gone", kInterfaceSpidev,
       [](TransportLink& l) { l.spidev.messageError = ENODEV; },
       "spidev adapter: /dev/spidev0.0 does not exist: enable the SPI controller and its "
       "spidev device (device tree overlay), or choose another node"},
  };
  for (const auto& c : cases) {
    RegisterFileSlave slave;
    slave.words[0x56] = 0x6A0E;  // PROD_ID
    TransportLink link(c.interface, slave);
    ReadRegister(link.w.ctx, PROD_ID);
    ASSERT_EQ(link.w.ctx.access.LastRaw, 0x6A0E) << c.what;
    c.fault(link);
    slave.words[0x56] = 0x1111;
    const size_t frames = link.monitor.frames().size();
    for (int pass = 0; pass < 3; ++pass) {
      ReadRegister(link.w.ctx, PROD_ID);
      WriteRegister(link.w.ctx, SMPL_PRD, 0x0A);
    }
    EXPECT_EQ(link.w.messages.texts(), std::vector<std::string>{c.message}) << c.what;
    EXPECT_EQ(link.w.ctx.access.LastRaw, 0x6A0E) << c.what << ": the last value stays";
    EXPECT_EQ(link.w.ctx.adapters.Present, 0) << c.what;
    EXPECT_TRUE(AdapterLost(link.w.ctx)) << c.what;
    EXPECT_LE(link.monitor.frames().size(), frames + 2) << c.what << ": nothing after the failure";
    // Chosen again once the fault is gone, it works.
    link.ftdiBoard->plugged = true;
    link.ftdiBoard->silent = false;
    link.spidev.messageError = 0;
    ASSERT_TRUE(OpenAdapter(link.w.ctx, c.interface)) << c.what;
    ReadRegister(link.w.ctx, PROD_ID);
    EXPECT_EQ(link.w.ctx.access.LastRaw, 0x1111) << c.what;
  }
}

TEST(AdapterFailure, SettingsOutOfRangeFallBackAndThePauseIsNeverShorter) {
  ProgramSettings p;
  p.setText("ftdi.ids", "0403:60zz");
  p.setText("ftdi.interface", "E");
  p.setText("ftdi.clock_hz", "0");
  p.setText("ftdi.mode", "7");
  p.setText("ftdi.cs_pin", "2");
  p.setText("ftdi.pause_us", "10");
  p.setText("spidev.pause_us", "5");
  p.setText("spidev.mode", "-1");
  const FtdiChoice f = ReadFtdiChoice(p);
  EXPECT_EQ(f.selector.ids.size(), 3u);
  EXPECT_EQ(f.selector.channel, 'A');
  EXPECT_EQ(f.setup.clockHz, 1000000u);
  EXPECT_EQ(f.setup.mode, 3);
  EXPECT_EQ(f.setup.csPin, 3);
  EXPECT_EQ(f.setup.pauseUs, 100);
  const SpidevSetup s = ReadSpidevChoice(p);
  EXPECT_EQ(s.pauseUs, 100);
  EXPECT_EQ(s.mode, 3);

  FtdiChoice chosen;
  chosen.selector.ids = {{0x0403, 0x6010}};
  chosen.selector.serial = "FT1";
  chosen.selector.channel = 'B';
  chosen.setup.clockHz = 2000000;
  chosen.setup.csPin = 5;
  chosen.setup.pauseUs = 250;
  WriteFtdiChoice(p, chosen);
  const FtdiChoice back = ReadFtdiChoice(p);
  EXPECT_EQ(back.selector.ids, chosen.selector.ids);
  EXPECT_EQ(back.selector.serial, "FT1");
  EXPECT_EQ(back.selector.channel, 'B');
  EXPECT_EQ(back.setup.clockHz, 2000000u);
  EXPECT_EQ(back.setup.csPin, 5);
  EXPECT_EQ(back.setup.pauseUs, 250);
}

// Answers that the engine clocks out later than the USB timeout - at a slow clock or after a
// long pause - are waited for, and not reported as a board that stopped answering.
TEST(AdapterFailure, SlowFramesAreNotTakenForABoardThatStoppedAnswering) {
  const struct {
    const char* what;
    long clockHz, pauseUs, timeoutMs;
  } cases[] = {
      {"pause of a second", 1000000, 1000000, 1000},
      {"slowest clock, 10 ms timeout", 100, 100, 10},
  };
  for (const auto& c : cases) {
    RegisterFileSlave slave;
    slave.words[0x56] = 0x6A0E;  // PROD_ID
    TransportLink link(kInterfaceNone, slave);
    ProgramSettings& p = link.w.ctx.preferences;
    p.setNumber("ftdi.clock_hz", c.clockHz);
    p.setNumber("ftdi.pause_us", c.pauseUs);
    p.setNumber("ftdi.timeout_ms", c.timeoutMs);
    link.w.ctx.settings.Interface = kInterfaceFtdi;
    ASSERT_TRUE(OpenAdapter(link.w.ctx, kInterfaceFtdi)) << c.what;
    ReadRegister(link.w.ctx, PROD_ID);
    EXPECT_EQ(link.w.ctx.access.LastRaw, 0x6A0E) << c.what;
    EXPECT_TRUE(link.w.messages.texts().empty()) << c.what;
  }
}

}  // namespace
}  // namespace vexa
