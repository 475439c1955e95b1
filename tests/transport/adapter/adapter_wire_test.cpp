// The FTDI and spidev transports at the wire: the frames they put on the simulated bus against
// those of the parallel port and the USB card, the MPSSE bytes and the spidev structures that
// carry them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "registers/register_access.h"
#include "registers/register_file_slave.h"
#include "support/four_transports.h"
#include "transport/ftdi/mpsse_commands.h"

namespace vexa {
namespace {

using testing::RegisterFileSlave;
using testing::TransportLink;
using Bytes = std::vector<uint8_t>;

const int16_t kAll[] = {kInterfaceParallel, kInterfaceUsb, kInterfaceFtdi, kInterfaceSpidev};

// A register file in which every address answers a different word.
void fill(RegisterFileSlave& slave) {
  for (int a = 0; a < 128; ++a)
    slave.words[static_cast<uint8_t>(a)] = static_cast<uint16_t>(a * 0x0203 ^ 0x5A3C);
}

struct Traffic {
  std::vector<sim::BusFrame> frames;
  std::vector<std::string> results;
  std::vector<std::string> messages;
};

Traffic runOn(int16_t interface, const std::function<std::vector<std::string>(AppContext&)>& op) {
  RegisterFileSlave slave;
  fill(slave);
  TransportLink link(interface, slave);
  Traffic run;
  run.results = op(link.w.ctx);
  run.frames = link.monitor.frames();
  run.messages = link.w.messages.texts();
  for (const auto& [address, byte] : slave.bytes)
    run.results.push_back("byte " + std::to_string(address) + "=" + std::to_string(byte));
  return run;
}

TEST(AdapterWire, ReadPassWriteAndDumpMakeTheSameFramesOnAllFourTransports) {
  const struct {
    const char* what;
    std::function<std::vector<std::string>(AppContext&)> op;
  } operations[] = {
      {"read pass",
       [](AppContext& ctx) {
         std::vector<std::string> values;
         for (int16_t i = 1; i <= 12; ++i) {
           ReadRegister(ctx, i);
           values.push_back(std::to_string(ctx.access.LastRaw));
         }
         return values;
       }},
      {"write",
       [](AppContext& ctx) {
         WriteRegister(ctx, SMPL_PRD, 0x1234);
         WriteRegister(ctx, ALM_SMPL1, 0x1234);
         return std::vector<std::string>{};
       }},
      {"dump", [](AppContext& ctx) { return cli::RegisterDumpLines(ctx); }},
  };
  for (const auto& o : operations) {
    const Traffic usb = runOn(kInterfaceUsb, o.op);
    ASSERT_FALSE(usb.frames.empty()) << o.what;
    for (int16_t interface : kAll) {
      const Traffic run = runOn(interface, o.op);
      const std::string what = std::string(o.what) + " over " + TransportLink::name(interface);
      EXPECT_TRUE(run.messages.empty()) << what;
      EXPECT_EQ(run.results, usb.results) << what;
      if (interface != kInterfaceParallel) {
        EXPECT_EQ(run.frames, usb.frames) << what;
        continue;
      }
      // The port clocks a read's reply in with an all-zero frame where the card repeats the
      // command; everything else is the same.
      ASSERT_EQ(run.frames.size(), usb.frames.size()) << what;
      for (size_t i = 0; i < usb.frames.size(); ++i) {
        const bool read = (usb.frames[i].mosi & 0x8000) == 0;
        EXPECT_EQ(run.frames[i].mosi, usb.frames[i].mosi) << what << " frame " << i;
        EXPECT_EQ(run.frames[i].bitCount, 16) << what;
        if (read) {
          ASSERT_LT(i + 1, usb.frames.size());
          EXPECT_EQ(run.frames[i + 1].mosi, 0) << what;
          EXPECT_EQ(run.frames[i + 1].miso, usb.frames[i + 1].miso) << what << " reply " << i;
          ++i;
        }
      }
    }
  }
}

TEST(AdapterWire, OneReadAndOneWriteAreTheseMpsseBytes) {
  RegisterFileSlave slave;
  fill(slave);
  TransportLink link(kInterfaceFtdi, slave);
  // Opened: a sync probe, then 60 MHz base, adaptive and three-phase clocking off, loopback off,
  // divisor 29 (1 MHz), SCK high, chip select (ADBUS3) high, SCK/MOSI/CS outputs.
  EXPECT_EQ(link.ftdiBoard->engine.badCommands(), Bytes{0xAA});
  EXPECT_EQ(link.ftdi.lastWrite(),
            (Bytes{0x8A, 0x97, 0x8D, 0x85, 0x86, 0x1D, 0x00, 0x80, 0x09, 0x0B}));
  // A frame: CS low (SCK stays high, MOSI shows bit 15), SCK low by hand (the first cycle's
  // leading edge), 8 bits and then 7 bits out on the falling and in on the rising edge from
  // there, MOSI to bit 0, the pins read (the last reply bit on DI), SCK high by hand (the 16th
  // trailing edge), CS high, 13 x 8 idle clocks (at least 100 us at 1 MHz).
  const auto frame = [](uint16_t word) {
    const auto first = static_cast<uint8_t>(word & 0x8000 ? 0x02 : 0x00);
    const auto last = static_cast<uint8_t>(word & 0x0001 ? 0x02 : 0x00);
    return Bytes{0x80,
                 static_cast<uint8_t>(0x01 | first),
                 0x0B,
                 0x80,
                 first,
                 0x0B,
                 0x31,
                 0x00,
                 0x00,
                 static_cast<uint8_t>(word >> 8),
                 0x33,
                 0x06,
                 static_cast<uint8_t>(word),
                 0x80,
                 last,
                 0x0B,
                 0x81,
                 0x80,
                 static_cast<uint8_t>(0x01 | last),
                 0x0B,
                 0x80,
                 0x09,
                 0x0B,
                 0x8F,
                 0x0C,
                 0x00};
  };
  const auto batch = [&](uint16_t a, uint16_t b) {
    Bytes bytes = frame(a);
    const Bytes second = frame(b);
    bytes.insert(bytes.end(), second.begin(), second.end());
    bytes.push_back(0x87);
    return bytes;
  };
  link.ftdi.clearLog();
  ReadRegister(link.w.ctx, XGYRO_OUT);
  EXPECT_EQ(link.ftdi.lastWrite(), batch(0x0400, 0x0400));
  EXPECT_EQ(link.ftdi.writes() + link.ftdi.reads(), 2) << "one bulk write, one bulk read";
  EXPECT_EQ(link.w.ctx.access.LastRaw, (0x04 * 0x0203 ^ 0x5A3C) & 0x3FFF);
  WriteRegister(link.w.ctx, SMPL_PRD, 0x1234);
  EXPECT_EQ(link.ftdi.lastWrite(), batch(0xB712, 0xB634));
  const auto& engine = link.ftdiBoard->engine;
  EXPECT_DOUBLE_EQ(engine.clockHz(), 1e6);
  EXPECT_GE(engine.shortestGapSeconds(), 100e-6);
  EXPECT_EQ(engine.badCommands(), Bytes{0xAA}) << "nothing after the probe was refused";
}

TEST(AdapterWire, ClockDivisorFollowsTheChipsBaseClock) {
  const struct {
    FtdiChip chip;
    uint32_t wanted;
    uint16_t divisor;
    double hz;
  } cases[] = {
      {FtdiChip::Ft232H, 1000000, 29, 1e6},          {FtdiChip::Ft232H, 30000000, 0, 30e6},
      {FtdiChip::Ft232H, 7000000, 4, 6e6},           {FtdiChip::Ft2232H, 2500000, 11, 2.5e6},
      {FtdiChip::Ft2232D, 1000000, 5, 1e6},          {FtdiChip::Ft2232D, 30000000, 0, 6e6},
      {FtdiChip::Ft232H, 100, 65535, 60e6 / 131072},
  };
  for (const auto& c : cases) {
    const mpsse::ClockChoice choice = mpsse::clockFor(c.chip, c.wanted);
    EXPECT_EQ(choice.divisor, c.divisor) << c.wanted;
    EXPECT_DOUBLE_EQ(choice.hz, c.hz) << c.wanted;
    // The engine, told the same, runs at that rate.
    mpsse::SpiSetup setup;
    setup.chip = c.chip;
    setup.clockHz = c.wanted;
    sim::MpsseInterpreter engine(c.chip);
    const Bytes commands = mpsse::setupCommands(setup);
    engine.feed(commands.data(), commands.size());
    EXPECT_DOUBLE_EQ(engine.clockHz(), c.hz) << c.wanted;
    EXPECT_TRUE(engine.badCommands().empty()) << c.wanted;
  }
}

// The frames a set-up puts on the wire for one read of address 0x04 answered by 0x1234.
std::vector<sim::BusFrame> framesOf(const mpsse::SpiSetup& setup, FtdiChip wiredChip, int wiredCs,
                                    std::vector<uint16_t>& replies, Bytes& refused) {
  RegisterFileSlave slave;
  slave.words[0x04] = 0x1234;
  sim::BusMonitor monitor(slave);
  sim::MpsseInterpreter engine(wiredChip);
  engine.attach(&monitor);
  engine.wireChipSelect(wiredCs);
  Bytes bytes = mpsse::setupCommands(setup);
  const uint16_t words[2] = {0x0400, 0x0400};
  mpsse::appendFrames(setup, words, 2, bytes);
  engine.feed(bytes.data(), bytes.size());
  replies.clear();
  auto& out = engine.output();
  const size_t perFrame = mpsse::replyBytesPerFrame(setup);
  while (out.size() >= perFrame && out.front() != 0xFA) {
    const std::vector<uint8_t> bytes(out.begin(), out.begin() + static_cast<long>(perFrame));
    replies.push_back(mpsse::frameReply(setup, bytes.data()));
    out.erase(out.begin(), out.begin() + static_cast<long>(perFrame));
  }
  refused = engine.badCommands();
  return monitor.frames();
}

TEST(AdapterWire, AWrongCommandSequenceShowsUpAsAWrongFrame) {
  const sim::BusFrame command{0x0400, 0x0000, 16}, reply{0x0400, 0x1234, 16};
  mpsse::SpiSetup good;
  std::vector<uint16_t> replies;
  Bytes refused;
  EXPECT_EQ(framesOf(good, FtdiChip::Ft232H, 3, replies, refused),
            (std::vector<sim::BusFrame>{command, reply}));
  EXPECT_EQ(replies, (std::vector<uint16_t>{0x0000, 0x1234}));

  // Mode 1 idles the clock low and reads on the falling edge, where the mode-3 sensor moves on
  // to its next bit.
  mpsse::SpiSetup mode1 = good;
  mode1.mode = 1;
  framesOf(mode1, FtdiChip::Ft232H, 3, replies, refused);
  EXPECT_NE(replies.at(1), 0x1234);

  // Chip select on ADBUS4 while the sensor's is wired to ADBUS3: no frame at all.
  mpsse::SpiSetup otherPin = good;
  otherPin.csPin = 4;
  EXPECT_TRUE(framesOf(otherPin, FtdiChip::Ft232H, 3, replies, refused).empty());
  EXPECT_EQ(replies, (std::vector<uint16_t>{0xFFFF, 0xFFFF})) << "MISO floats high";

  // The H chips' commands sent to a 2232D are refused, and the idle-clock lengths then read as
  // opcodes too; the 2232D set-up uses none of them.
  framesOf(good, FtdiChip::Ft2232D, 3, replies, refused);
  EXPECT_EQ(refused, (Bytes{0x8A, 0x97, 0x8D, 0x8F, 0x0C, 0x00, 0x8F, 0x0C, 0x00}));
  mpsse::SpiSetup d = good;
  d.chip = FtdiChip::Ft2232D;
  EXPECT_EQ(framesOf(d, FtdiChip::Ft2232D, 3, replies, refused),
            (std::vector<sim::BusFrame>{command, reply}));
  EXPECT_TRUE(refused.empty());
}

TEST(AdapterWire, SpidevSendsOneSixteenBitSegmentPerFrame) {
  for (bool only8 : {false, true}) {
    RegisterFileSlave slave;
    fill(slave);
    sim::SimSpidev spidev;
    spidev.only8BitWords = only8;
    // Set up before the link opens: the controller decides the word size.
    testing::SimWorld w;
    sim::BusMonitor monitor(slave);
    spidev.attach(&monitor);
    spidev.useClock(&w.clock);
    w.ctx.platform.spidev = &spidev;
    w.ctx.settings.Interface = kInterfaceSpidev;
    ASSERT_TRUE(OpenAdapter(w.ctx, kInterfaceSpidev));
    EXPECT_EQ(spidev.openNode(), "/dev/spidev0.0");
    EXPECT_EQ(spidev.mode(), 3);
    EXPECT_EQ(spidev.speedHz(), 1000000u);
    EXPECT_EQ(spidev.bitsPerWord(), only8 ? 8 : 16);

    const long before = spidev.messages();
    ReadRegister(w.ctx, XGYRO_OUT);
    // To the nanosecond: virtual time adds the delay's passes in floating point.
    EXPECT_GE(spidev.shortestChipSelectHighSeconds(), 100e-6 - 1e-9)
        << "the pause with chip select up";
    // The kernel can hold chip select high between the segments of one message only for its
    // own short cs_change delay, so each frame is a message of its own, the pause after it.
    EXPECT_EQ(spidev.messages() - before, 2);
    const auto& segments = spidev.lastMessage();
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].length, 2u);
    EXPECT_EQ(segments[0].bitsPerWord, only8 ? 8 : 16);
    EXPECT_EQ(segments[0].speedHz, 1000000u);
    EXPECT_FALSE(segments[0].csChange) << "chip select up after the frame, not kept down";
    EXPECT_EQ(monitor.frames(),
              (std::vector<sim::BusFrame>{{0x0400, 0x0000, 16}, {0x0400, slave.words[0x04], 16}}));
    EXPECT_EQ(w.ctx.access.LastRaw, slave.words[0x04] & 0x3FFF);
  }
}

// The kernel lowers a clock above the controller's limit to that limit, for the node and for
// each transfer; it refuses none of them.
TEST(AdapterWire, SpidevClockAboveTheControllersLimitRunsAtTheLimit) {
  RegisterFileSlave slave;
  fill(slave);
  TransportLink link(kInterfaceNone, slave);
  link.spidev.maxSpeedHz = 10000000;
  link.w.ctx.preferences.setNumber("spidev.speed_hz", 20000000);
  link.w.ctx.settings.Interface = kInterfaceSpidev;
  ASSERT_TRUE(OpenAdapter(link.w.ctx, kInterfaceSpidev));
  ReadRegister(link.w.ctx, XGYRO_OUT);
  EXPECT_TRUE(link.w.messages.texts().empty());
  EXPECT_EQ(link.w.ctx.access.LastRaw, slave.words[0x04] & 0x3FFF);
}

}  // namespace
}  // namespace vexa
