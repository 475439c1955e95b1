#include "transport/parallel/parallel_spi.h"

#include <gtest/gtest.h>

#include "support/parallel_frame_writes.h"

#include <vector>

#include "sim/sim_parallel_port.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

using Access = sim::SimParallelPort::Access;

constexpr uint16_t kBase = 0x378;

// A port whose status register reads a fixed value; notes every access.
class StuckStatusPort : public PortIo {
 public:
  explicit StuckStatusPort(uint8_t status) : status_(status) {}
  void vbOut(uint16_t port, uint8_t value) override { log.push_back({Access::Write, port, value}); }
  uint8_t vbInp(uint16_t port) override {
    log.push_back({Access::Read, port, status_});
    return status_;
  }
  std::vector<Access> log;

 private:
  uint8_t status_;
};

struct ParallelWorld : testing::SimWorld {
  ParallelWorld() {
    ctx.settings.Interface = kInterfaceParallel;
    ctx.settings.PortAddress = kBase;
    port.setRecording(true);
    ctx.platform.port = &port;
  }
  std::vector<uint8_t> dataWrites() const {
    std::vector<uint8_t> out;
    for (const auto& a : port.accesses())
      if (a.kind == Access::Write && a.port == kBase) out.push_back(a.value);
    return out;
  }
  sim::SimParallelPort port{kBase};
};

TEST(ParallelSpi, ShiftOutWritesTheFrameSequence) {
  ParallelWorld w;
  int32_t word = 0x8000 + 0x36 * 256 + 0x12;  // 0xB612
  PortShiftOut(w.ctx, word);
  const std::vector<uint8_t> writes = w.dataWrites();
  ASSERT_EQ(writes.size(), 67u);
  EXPECT_EQ(writes, testing::ExpectedFrameWrites(0xB612));
  // First bit (a 1), second bit (a 0), as they appear after the two opening writes.
  EXPECT_EQ(std::vector<uint8_t>(writes.begin() + 2, writes.begin() + 6),
            (std::vector<uint8_t>{7, 3, 1, 5}));
  EXPECT_EQ(std::vector<uint8_t>(writes.begin() + 6, writes.begin() + 10),
            (std::vector<uint8_t>{7, 7, 5, 5}));
  EXPECT_EQ(w.port.accesses().size(), 67u) << "a write frame reads nothing";
}

TEST(ParallelSpi, ShiftOutSendsOnlyTheLowSixteenBits) {
  ParallelWorld w;
  int32_t word = 0x7B612;
  PortShiftOut(w.ctx, word);
  EXPECT_EQ(w.dataWrites(), testing::ExpectedFrameWrites(0xB612));
}

TEST(ParallelSpi, FrameEndsWithATenthOfAMillisecond) {
  ParallelWorld w;
  const double start = w.clock.monotonicSeconds();
  int32_t word = 0xB612;
  PortShiftOut(w.ctx, word);
  // Only the closing wait costs time: 10 steps of 10 us; the per-write DelayMs(0) adds nothing.
  EXPECT_NEAR(w.clock.monotonicSeconds() - start, 1e-4, 1e-9);
}

TEST(ParallelSpi, ReadWordSendsCommandThenClocksTheReply) {
  ParallelWorld w;
  int16_t address = 0x1D6;  // masked to 0x56 in place
  PortReadWord(w.ctx, address);
  EXPECT_EQ(address, 0x56);

  std::vector<Access> expected;
  for (uint8_t v : testing::ExpectedFrameWrites(0x5600))
    expected.push_back({Access::Write, kBase, v});
  expected.push_back({Access::Write, kBase, 4});
  expected.push_back({Access::Write, kBase, 5});
  for (int n = 0; n < 16; ++n) {
    expected.push_back({Access::Write, kBase, 7});
    expected.push_back({Access::Read, kBase + 1, sim::SimParallelPort::kStatusIdle | 0x40});
    expected.push_back({Access::Write, kBase, 5});
  }
  expected.push_back({Access::Write, kBase, 0});
  EXPECT_EQ(w.port.accesses(), expected);
}

TEST(ParallelSpi, ReadWordWithTheInputLineStuck) {
  const struct {
    uint8_t status;
    int32_t word;
  } cases[] = {{0xFF, 0}, {0x40, 0}, {0x00, 65535}, {0xBF, 65535}};
  for (const auto& c : cases) {
    testing::SimWorld w;
    StuckStatusPort port(c.status);
    w.ctx.platform.port = &port;
    w.ctx.settings.Interface = kInterfaceParallel;
    w.ctx.settings.PortAddress = kBase;
    int16_t address = 0x04;
    EXPECT_EQ(PortReadWord(w.ctx, address), c.word) << "status " << int(c.status);
  }
}

TEST(ParallelSpi, ResetPutsTheLinesAtRest) {
  ParallelWorld w;
  PortReset(w.ctx);
  const std::vector<Access> expected = {{Access::Write, kBase + 1, 0x40},
                                        {Access::Write, kBase, 0}};
  EXPECT_EQ(w.port.accesses(), expected);
  EXPECT_NEAR(w.clock.monotonicSeconds(), 1e-4, 1e-9);
}

TEST(ParallelSpi, NothingTouchedUnlessTheParallelPortIsSelected) {
  for (int16_t interface : {kInterfaceNone, kInterfaceUsb, int16_t{7}}) {
    ParallelWorld w;
    w.ctx.settings.Interface = interface;
    int32_t word = 0xB612;
    int16_t address = 0x04;
    PortShiftOut(w.ctx, word);
    EXPECT_EQ(PortReadWord(w.ctx, address), 0);
    PortReset(w.ctx);
    EXPECT_TRUE(w.port.accesses().empty()) << "interface " << interface;
    EXPECT_EQ(w.clock.monotonicSeconds(), 0.0);
  }
}

}  // namespace
}  // namespace vexa
