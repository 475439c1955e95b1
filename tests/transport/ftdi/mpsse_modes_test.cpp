// SPI modes on the MPSSE engine as FTDI documents it: the bytes the program sends, taken from
// its trace and decoded again by a separate engine, use only the engine's documented pairings
// of clock level and output edge, and give the slave exactly 16 clock cycles per frame (no
// edge more while chip select is low) with time to set up before the first and after the last.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/ftdi_trace.h"
#include "registers/register_access.h"
#include "registers/register_file_slave.h"
#include "support/four_transports.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::RegisterFileSlave;

// The bytes of every "mpsse out: " line, in order.
Bytes writtenBytes(const std::vector<std::string>& trace) {
  Bytes bytes;
  const std::string prefix = "mpsse out: ";
  for (const std::string& line : trace) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::istringstream hex(line.substr(prefix.size()));
    unsigned value = 0;
    while (hex >> std::hex >> value) bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

// What a logic analyser on the pins of a slave in `mode` finds wrong with this byte stream.
std::vector<std::string> faultsOf(const Bytes& stream, FtdiChip chip, int mode,
                                  const std::vector<uint16_t>& expectedWords) {
  RegisterFileSlave slave;
  sim::MpsseInterpreter decoder(chip);
  decoder.attach(&slave, mode);
  decoder.feed(stream.data(), stream.size());
  std::vector<std::string> faults;
  if (decoder.undocumentedCommands() > 0) faults.push_back("undocumented clock level and edge");
  if (decoder.oddFrames() > 0) faults.push_back("a frame without 16 sampling edges");
  // Every edge while chip select is low: 16 cycles, so 32 edges, in every frame.
  for (int edges : decoder.edgesPerFrame())
    if (edges != 32) faults.push_back(std::to_string(edges) + " edges while selected");
  if (decoder.racingEdges() > 0) faults.push_back("an edge in the command that moves MOSI or CS");
  // Half a clock period, less rounding of the summed bus time.
  const double halfClock = 0.5 / decoder.clockHz() * (1 - 1e-9);
  // (Negative: no such edge was clocked by a data command; the pins' edges are held to order.)
  if (decoder.shortestSetupSeconds() < halfClock) faults.push_back("setup under half a clock");
  if (decoder.shortestHoldSeconds() >= 0 && decoder.shortestHoldSeconds() < halfClock)
    faults.push_back("chip select up too early");
  if (slave.mosiWords() != expectedWords) faults.push_back("other frames at the slave");
  return faults;
}

FtdiBoard boardOf(FtdiChip chip) {
  FtdiBoard b = sim::SimFtdiIo::ft232h();
  b.chip = chip;
  b.id.product = chip == FtdiChip::Ft232H ? 0x6014 : chip == FtdiChip::Ft4232H ? 0x6011 : 0x6010;
  return b;
}

TEST(MpsseModes, EveryModeOnEveryChipClocksOnlyDocumentedEdgesAndTheRightFrames) {
  for (FtdiChip chip :
       {FtdiChip::Ft232H, FtdiChip::Ft2232D, FtdiChip::Ft2232H, FtdiChip::Ft4232H}) {
    for (int mode = 0; mode < 4; ++mode) {
      const std::string which =
          "chip " + std::to_string(static_cast<int>(chip)) + " mode " + std::to_string(mode);
      // A slave in the program's mode, so that each mode is held to its own edges.
      RegisterFileSlave slave;
      slave.words[0x04] = 0x1234;
      testing::TransportLink link(kInterfaceNone, slave);
      link.ftdiBoard->plugged = false;
      link.ftdi.plug(boardOf(chip)).engine.attach(&slave, mode);
      std::vector<std::string> trace;
      TracingFtdiIo tracer(link.ftdi, [&trace](const std::string& l) { trace.push_back(l); });
      AppContext& ctx = link.w.ctx;
      ctx.platform.ftdi = &tracer;
      ctx.preferences.setNumber("ftdi.mode", mode);
      ctx.settings.Interface = kInterfaceFtdi;
      ASSERT_TRUE(OpenAdapter(ctx, kInterfaceFtdi)) << which;
      ReadRegister(ctx, XGYRO_OUT);
      EXPECT_EQ(ctx.access.LastRaw, 0x1234) << which;
      WriteRegister(ctx, SMPL_PRD, 0x0102);
      EXPECT_EQ(slave.bytes[0x36], 0x02) << which;

      EXPECT_EQ(faultsOf(writtenBytes(trace), chip, mode, {0x0400, 0x0400, 0xB701, 0xB602}),
                std::vector<std::string>{})
          << which;
      CloseAdapter(ctx);  // while the tracer the link writes through is still there
    }
  }
}

// The mode-3 frames sent before: the clock idles high and 0x31 (out on the falling edge) shifts
// from there, which the engine does not support; every word arrives one bit early.
TEST(MpsseModes, TheOldModeThreeStreamFailsTheCheck) {
  Bytes old = {0x8A, 0x97, 0x8D, 0x85, 0x86, 0x1D, 0x00, 0x80, 0x09, 0x0B};
  for (int i = 0; i < 2; ++i)
    old.insert(old.end(), {0x80, 0x01, 0x0B, 0x31, 0x01, 0x00, 0x56, 0x00, 0x80, 0x09, 0x0B, 0x8F,
                           0x0C, 0x00});
  old.push_back(0x87);
  const std::vector<std::string> faults = faultsOf(old, FtdiChip::Ft232H, 3, {0x5600, 0x5600});
  EXPECT_EQ(faults,
            (std::vector<std::string>{"undocumented clock level and edge",
                                      "chip select up too early", "other frames at the slave"}));
  // The read command 0x5600 arrives as the write 0xAC00.
  RegisterFileSlave slave;
  sim::MpsseInterpreter engine(FtdiChip::Ft232H);
  engine.attach(&slave);
  engine.feed(old.data(), old.size());
  ASSERT_FALSE(slave.frames.empty());
  EXPECT_EQ(slave.frames[0].mosi, 0xAC00);
}

// The mode-3 frames sent before: the first leading edge by hand, 16 cycles shifted from there,
// and chip select up with the clock away from idle: a 17th leading edge while selected, which a
// slave counting clocks takes for a 17-clock frame and discards.
TEST(MpsseModes, ASeventeenthEdgeWhileSelectedMakesTheFrameOdd) {
  Bytes old = {0x8A, 0x97, 0x8D, 0x85, 0x86, 0x0E, 0x00, 0x80, 0x09, 0x0B};
  old.insert(old.end(), {0x80, 0x01, 0x0B, 0x80, 0x00, 0x0B, 0x31, 0x01, 0x00, 0xB7, 0x12, 0x80,
                         0x08, 0x0B, 0x80, 0x09, 0x0B, 0x87});
  EXPECT_EQ(
      faultsOf(old, FtdiChip::Ft232H, 3, {0xB712}),
      (std::vector<std::string>{"a frame without 16 sampling edges", "33 edges while selected"}));
  RegisterFileSlave slave;
  sim::MpsseInterpreter engine(FtdiChip::Ft232H);
  engine.attach(&slave);
  engine.feed(old.data(), old.size());
  ASSERT_EQ(slave.frames.size(), 1u);
  EXPECT_EQ(slave.frames[0].bits, 17);
  EXPECT_EQ(slave.bytes[0x37], 0) << "the write was discarded";
}

}  // namespace
}  // namespace vexa
