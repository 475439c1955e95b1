#include "sim/sim_parallel_port.h"

#include <gtest/gtest.h>

#include "support/parallel_frame_writes.h"

#include <functional>
#include <vector>

#include "registers/register_file_slave.h"
#include "support/sim_world.h"
#include "transport/parallel/parallel_spi.h"

namespace vexa {
namespace {

using testing::RegisterFileSlave;
using Frame = RegisterFileSlave::Frame;

constexpr uint16_t kBase = 0x278;

void play(sim::SimParallelPort& port, const std::vector<uint8_t>& writes) {
  for (uint8_t v : writes) port.vbOut(kBase, v);
}

// The parallel transport of a program world, driving the simulated port into a register file.
struct PortRig {
  PortRig() {
    port.attach(&slave);
    world.ctx.platform.port = &port;
    world.ctx.settings.Interface = kInterfaceParallel;
    world.ctx.settings.PortAddress = kBase;
  }
  testing::SimWorld world;
  sim::SimParallelPort port{kBase};
  RegisterFileSlave slave;
};

TEST(SimParallelPort, DecodesTheTransportsFrames) {
  PortRig rig;
  auto& [w, port, slave] = rig;

  for (int32_t word : {0x0000, 0xFFFF, 0xB612, 0x8001, 0x5AA5}) {
    int32_t copy = word;
    PortShiftOut(w.ctx, copy);
  }
  const std::vector<Frame> expected = {
      {0x0000, 16}, {0xFFFF, 16}, {0xB612, 16}, {0x8001, 16}, {0x5AA5, 16}};
  EXPECT_EQ(slave.frames, expected);
  EXPECT_EQ(port.strayClockEdges(), 0);
}

TEST(SimParallelPort, ClocksTheSlavesReplyOntoTheStatusLine) {
  PortRig rig;
  auto& [w, port, slave] = rig;

  for (uint16_t reply : {0x0000, 0xFFFF, 0x8000, 0x0001, 0xA5C3}) {
    slave.words[0x16] = reply;
    int16_t address = 0x16;
    EXPECT_EQ(PortReadWord(w.ctx, address), reply);
  }
  // Each read is the command frame and the all-zero frame that carries the reply.
  ASSERT_EQ(slave.frames.size(), 10u);
  EXPECT_EQ(slave.frames[0], (Frame{0x1600, 16}));
  EXPECT_EQ(slave.frames[1], (Frame{0x0000, 16}));
}

// Faults in the pin sequence reach the slave as the frame the lines really carried.
TEST(SimParallelPort, AWrongPinSequenceGivesAWrongFrame) {
  const uint16_t word = 0xB612;
  const struct {
    const char* fault;
    std::function<void(std::vector<uint8_t>&)> change;
    Frame frame;
  } cases[] = {
      {"as prescribed", [](std::vector<uint8_t>&) {}, {0xB612, 16}},
      // Bit 15's data released before the clock falls: the edge sees the idle line, a 0.
      {"data dropped before the edge", [](std::vector<uint8_t>& w) { w[4] = 5; }, {0x3612, 16}},
      // Data bit 2 sent uncomplemented for the whole frame.
      {"data not complemented",
       [](std::vector<uint8_t>& w) {
         for (size_t i = 2; i + 1 < w.size(); i += 4) {
           w[i + 1] ^= 4;
           w[i + 2] ^= 4;
         }
       },
       {0x49ED, 16}},
      // The last bit's clock stays high until the frame closes.
      {"one clock missing",
       [](std::vector<uint8_t>& w) {
         w[64] = 7;
         w[65] = 7;
       },
       {0x5B09, 15}},
      // An extra clock pulse after the last bit.
      {"one clock too many",
       [](std::vector<uint8_t>& w) {
         w.insert(w.end() - 1, {7, 5});
       },
       {0x6C24, 17}},
      // Chip select dropped in the middle: two short frames.
      {"frame enable glitch",
       [](std::vector<uint8_t>& w) {
         w.insert(w.begin() + 34, {0, 5});
       },
       {0x0012, 8}},
  };
  for (const auto& c : cases) {
    sim::SimParallelPort port(kBase);
    RegisterFileSlave slave;
    port.attach(&slave);
    std::vector<uint8_t> writes = testing::ExpectedFrameWrites(word);
    c.change(writes);
    play(port, writes);
    ASSERT_FALSE(slave.frames.empty()) << c.fault;
    EXPECT_EQ(slave.frames.back(), c.frame) << c.fault;
  }
}

TEST(SimParallelPort, ClockEdgesOutsideAFrameAreStray) {
  sim::SimParallelPort port(kBase);
  RegisterFileSlave slave;
  port.attach(&slave);
  play(port, {2, 0, 2, 0});
  EXPECT_EQ(port.strayClockEdges(), 2);
  EXPECT_TRUE(slave.frames.empty());
}

TEST(SimParallelPort, RegistersByAddress) {
  sim::SimParallelPort fixed(kBase);
  fixed.vbOut(kBase + 2, 0x0C);
  EXPECT_EQ(fixed.vbInp(kBase + 2), 0xCC);
  EXPECT_EQ(fixed.vbInp(kBase + 3), sim::SimParallelPort::kFloatingBus);
  EXPECT_EQ(fixed.vbInp(0x378 + 1), sim::SimParallelPort::kFloatingBus);
  fixed.vbOut(0x378, 0x05);  // another port's data register: not this one
  EXPECT_FALSE(fixed.inFrame());
  // Outside a frame the input line reads as 0 bits (status bit 6 set).
  EXPECT_EQ(fixed.vbInp(kBase + 1), 0xFF);

  sim::SimParallelPort following;
  EXPECT_EQ(following.vbInp(0x379), sim::SimParallelPort::kFloatingBus);
  following.vbOut(0x3BD, 0x40);  // a reset begins at the status register
  following.vbOut(0x3BC, 0);
  EXPECT_EQ(following.base(), 0x3BC);
  following.vbOut(0x3BD, 0x40);
  EXPECT_EQ(following.base(), 0x3BC) << "its own status register does not move the port";
  EXPECT_EQ(following.statusWritten(), 0x40);
}

TEST(SimParallelPort, FollowsTheProgramToAnyAddress) {
  testing::SimWorld w;
  sim::SimParallelPort port;
  RegisterFileSlave slave;
  slave.words[0x04] = 0x1234;
  port.attach(&slave);
  w.ctx.platform.port = &port;
  w.ctx.settings.Interface = kInterfaceParallel;
  for (int16_t address : {int16_t{0x378}, int16_t{0x278}, int16_t(0xBC00)}) {
    w.ctx.settings.PortAddress = address;
    PortReset(w.ctx);
    int16_t reg = 0x04;
    EXPECT_EQ(PortReadWord(w.ctx, reg), 0x1234) << std::hex << address;
  }
}

}  // namespace
}  // namespace vexa
