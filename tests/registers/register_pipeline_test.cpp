#include "registers/register_pipeline.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <string>
#include <vector>

#include "sim/bus_monitor.h"
#include "sim/sim_ftdi_io.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_spidev.h"
#include "sim/sim_usb_card.h"
#include "registers/register_access.h"
#include "support/four_transports.h"
#include "support/sim_world.h"
#include "transport/adapter/adapter_spi.h"
#include "transport/usb/ez_usb.h"

namespace vexa {
namespace {

constexpr uint16_t kBase = 0x378;
using Rows = std::vector<int16_t>;

// Fails the n-th request of one code (counting from 1) and passes everything else on.
class FailingUsbDriver : public UsbDriver {
 public:
  explicit FailingUsbDriver(UsbDriver& inner) : inner_(inner) {}
  void failNth(uint32_t code, int n) {
    code_ = code;
    remaining_ = n;
  }
  UsbHandle open(const std::string& name) override { return inner_.open(name); }
  void close(UsbHandle handle) override { inner_.close(handle); }
  bool request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
               size_t outLength, uint32_t& returned) override {
    if (code == code_ && remaining_ > 0 && --remaining_ == 0) {
      returned = 0;
      return false;
    }
    return inner_.request(handle, code, in, inLength, out, outLength, returned);
  }

 private:
  UsbDriver& inner_;
  uint32_t code_ = 0;
  int remaining_ = 0;
};

// A program world whose transport reaches a lively simulated sensor through a bus monitor. The
// sensor runs on a clock of its own that only the test moves, so it is frozen between samples
// and two links given the same steps hold the same readings whatever their bus traffic costs.
struct Link {
  explicit Link(int16_t interface) : sensor(sensorClock), monitor(sensor), usb(&w.clock) {
    port.attach(&monitor);
    usb.plug(0).attach(&monitor);
    ftdiBoard = &ftdi.plug(sim::SimFtdiIo::ft232h());
    ftdiBoard->engine.attach(&monitor);
    spidev.attach(&monitor);
    w.ctx.platform.port = &port;
    w.ctx.platform.usb = &failing;
    w.ctx.platform.ftdi = &ftdi;
    w.ctx.platform.spidev = &spidev;
    w.ctx.settings.PortAddress = kBase;
    w.ctx.settings.Interface = interface;
    if (interface == kInterfaceUsb) FindUsbCard(w.ctx);
    if (IsAdapterInterface(interface)) {
      EXPECT_TRUE(OpenAdapter(w.ctx, interface));
    }
    // A low supply latches a STATUS flag, so alarm bits and STATUS reads carry something.
    sensor.setSupplyVolts(4.6);
    nextSample();
    monitor.clear();
    usb.card(0)->clearLog();
  }
  ~Link() { CloseAdapter(w.ctx); }
  void nextSample() { sensorClock.advance(SimSensor::samplePeriodSeconds(0x01) * 1.001); }
  std::vector<uint16_t> mosi() const {
    std::vector<uint16_t> out;
    for (const auto& f : monitor.frames()) out.push_back(f.mosi);
    return out;
  }
  using SimSensor = sim::SimSensor;

  testing::SimWorld w;
  sim::SimClock sensorClock;
  sim::SimSensor sensor;
  sim::BusMonitor monitor;
  sim::SimParallelPort port{kBase};
  sim::SimUsbDriver usb;
  FailingUsbDriver failing{usb};
  sim::SimFtdiIo ftdi;
  sim::SimFtdiIo::Board* ftdiBoard = nullptr;
  sim::SimSpidev spidev;
};

std::string name(int16_t interface) {
  return testing::TransportLink::name(interface);
}

const int16_t kTransports[] = {kInterfaceParallel, kInterfaceUsb, kInterfaceFtdi, kInterfaceSpidev};

void expectSame(const AccessState& got, const AccessState& want, const std::string& what) {
  EXPECT_EQ(got.LastRaw, want.LastRaw) << what;
  EXPECT_EQ(got.LastScaled, want.LastScaled) << what;
  EXPECT_EQ(got.LastHigh, want.LastHigh) << what;
  EXPECT_EQ(got.LastLow, want.LastLow) << what;
  EXPECT_EQ(got.LastNewData, want.LastNewData) << what;
  EXPECT_EQ(got.LastAlarm, want.LastAlarm) << what;
}

void expectSameResults(const std::vector<AccessState>& got, const std::vector<AccessState>& want,
                       const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); ++i)
    expectSame(got[i], want[i], what + " #" + std::to_string(i));
}

Rows outputs() {
  Rows r;
  for (int16_t i = SUPPLY_OUT; i <= AUX_ADC; ++i) r.push_back(i);
  return r;
}

Rows plus(Rows r, const Rows& more) {
  r.insert(r.end(), more.begin(), more.end());
  return r;
}

const struct Shape {
  const char* what;
  Rows rows;
} kShapes[] = {
    {"one register", {XGYRO_OUT}},
    {"the twelve outputs", outputs()},
    {"fifteen: one full transfer", plus(outputs(), {XGYRO_OFF, YGYRO_OFF, ZGYRO_OFF})},
    {"sixteen: across a transfer boundary, address 0 first",
     plus(plus({ENDURANCE}, outputs()), {XGYRO_OFF, YGYRO_OFF, ZGYRO_OFF})},
    {"write-only inside", {XGYRO_OUT, COMMAND, YGYRO_OUT}},
    {"write-only first and last", {COMMAND, SUPPLY_OUT, TEMP_OUT, COMMAND}},
    {"write-only alone", {COMMAND}},
    {"STATUS then a repeated output", {STATUS, XGYRO_OUT, XGYRO_OUT, PROD_ID}},
};

TEST(RegisterPipeline, GivesTheResultsOfSingleReadsInNPlusOneFrames) {
  for (int16_t interface : kTransports) {
    for (const Shape& shape : kShapes) {
      const std::string what = name(interface) + ", " + shape.what;
      Link single(interface), piped(interface);
      // Results left over from an earlier read must carry through rows that are not read.
      single.w.ctx.access.LastRaw = piped.w.ctx.access.LastRaw = 4321;
      single.w.ctx.access.LastNewData = piped.w.ctx.access.LastNewData = 32768;

      // Two rounds: the second sees the sensor's state after the first (cleared new-data bits,
      // STATUS read) and a fresh sample.
      for (int round = 0; round < 2; ++round) {
        single.monitor.clear();
        piped.monitor.clear();
        piped.usb.card(0)->clearLog();
        const double start = piped.w.clock.monotonicSeconds();
        const auto want = ReadRegisterList(single.w.ctx, shape.rows, false);
        const auto got = ReadRegisterList(piped.w.ctx, shape.rows, true);
        expectSameResults(got, want, what);
        expectSame(piped.w.ctx.access, single.w.ctx.access, what + ", left in the context");

        // The same read commands, in order, then one frame for the last reply.
        std::vector<uint16_t> commands;
        for (size_t f = 0; f < single.monitor.frames().size(); f += 2)
          commands.push_back(single.monitor.frames()[f].mosi);
        const size_t n = commands.size();
        if (n == 0) {
          EXPECT_TRUE(piped.monitor.frames().empty()) << what;
          continue;
        }
        std::vector<uint16_t> expected = commands;
        expected.push_back(0);
        EXPECT_EQ(piped.mosi(), expected) << what;
        for (const auto& f : piped.monitor.frames()) EXPECT_EQ(f.bitCount, 16) << what;
        if (n == 1) {
          // Frame for frame, but for what the card's and the adapters' single reads send with
          // the reply: the command again, where the pipelined read sends zeros as the port
          // always does (and so the next read's first frame brings back another unused word).
          auto frames = piped.monitor.frames();
          if (interface != kInterfaceParallel) {
            frames[0].miso = single.monitor.frames()[0].miso;
            frames[1].mosi = single.monitor.frames()[1].mosi;
          }
          EXPECT_EQ(frames, single.monitor.frames()) << what << ": frame for frame";
        }
        if (interface == kInterfaceParallel) {
          // Each frame keeps its closing 0.1 ms pause, and nothing else waits.
          EXPECT_NEAR(piped.w.clock.monotonicSeconds() - start, (n + 1) * 1e-4, 1e-9) << what;
          EXPECT_EQ(piped.port.strayClockEdges(), 0) << what;
        } else if (interface == kInterfaceUsb) {
          const size_t transfers = (n + 1 + 15) / 16;
          const auto& writes = piped.usb.card(0)->pipe0Writes();
          ASSERT_EQ(writes.size(), transfers) << what;
          EXPECT_EQ(writes.back().size(), 2 * ((n + 1) - 16 * (transfers - 1)) + 3) << what;
          EXPECT_EQ(piped.usb.card(0)->protocolErrors(), 0) << what;
        }
        single.nextSample();
        piped.nextSample();
      }
      EXPECT_TRUE(piped.w.messages.shown.empty()) << what;
    }
  }
}

TEST(RegisterPipeline, AOneRegisterReadOnThePortHasTheSinglePinSequence) {
  Link single(kInterfaceParallel), piped(kInterfaceParallel);
  single.port.setRecording(true);
  piped.port.setRecording(true);
  ReadRegister(single.w.ctx, ZACCL_OUT);
  ReadRegisterList(piped.w.ctx, {ZACCL_OUT}, true);
  EXPECT_EQ(piped.port.accesses(), single.port.accesses());
}

// A transfer that fails part-way: the rows whose replies were lost read what single reads read
// when the same row's transfer fails, with the same one message and an unusable card.
TEST(RegisterPipeline, AFailedTransferLeavesWhatSingleReadsLeave) {
  const Rows rows = plus(plus(outputs(), outputs()), {STATUS});  // 25 rows: two transfers
  const struct {
    uint32_t code;
    int transfer;  // which pipelined transfer fails, from 1
    const char* message;
  } cases[] = {
      {usbreq::kBulkWrite, 1, "Error Writing SPI"},
      {usbreq::kBulkRead, 1, "Error Reading SPI"},
      {usbreq::kBulkWrite, 2, "Error Writing SPI"},
      {usbreq::kBulkRead, 2, "Error Reading SPI"},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.message) + " in transfer " + std::to_string(c.transfer);
    Link single(kInterfaceUsb), piped(kInterfaceUsb);
    // An earlier read left a word in the card's reply buffer.
    ReadRegister(single.w.ctx, PROD_ID);
    ReadRegister(piped.w.ctx, PROD_ID);

    // Row k is the first whose reply travels in the failing transfer (reply of row k: frame k).
    const size_t k = std::max<size_t>(1, 16 * static_cast<size_t>(c.transfer - 1));
    std::vector<AccessState> want;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (i + 1 == k) single.failing.failNth(c.code, 1);
      ReadRegister(single.w.ctx, rows[i]);
      want.push_back(single.w.ctx.access);
    }
    piped.failing.failNth(c.code, c.transfer);
    std::vector<AccessState> got(rows.size());
    EXPECT_EQ(ReadRegistersPipelined(piped.w.ctx, rows.data(), rows.size(), got.data()), k - 1)
        << what << ": the rows read from the sensor";

    expectSameResults(got, want, what);
    EXPECT_EQ(piped.w.messages.texts(), std::vector<std::string>{c.message}) << what;
    EXPECT_EQ(single.w.messages.texts(), piped.w.messages.texts()) << what;
    EXPECT_EQ(piped.w.ctx.usb.SelectedCard.Present, 0) << what;
    // A later read of the unusable card returns the same stale reply on both.
    ReadRegister(single.w.ctx, XGYRO_OUT);
    ReadRegister(piped.w.ctx, XGYRO_OUT);
    expectSame(piped.w.ctx.access, single.w.ctx.access, what + ", read afterwards");
    EXPECT_EQ(piped.usb.openHandles(), 0) << what;
  }
}

// An adapter that fails takes the whole list with it: one message, and every row reads the last
// reply, as single reads after the failure do.
TEST(RegisterPipeline, AFailedAdapterLeavesWhatSingleReadsLeave) {
  for (int16_t interface : {kInterfaceFtdi, kInterfaceSpidev}) {
    Link single(interface), piped(interface);
    ReadRegister(single.w.ctx, PROD_ID);
    ReadRegister(piped.w.ctx, PROD_ID);
    for (Link* l : {&single, &piped}) {
      l->ftdiBoard->silent = true;
      l->spidev.messageError = ETIMEDOUT;
    }
    const Rows rows = plus(outputs(), {STATUS});
    const auto want = ReadRegisterList(single.w.ctx, rows, false);
    std::vector<AccessState> got(rows.size());
    EXPECT_EQ(ReadRegistersPipelined(piped.w.ctx, rows.data(), rows.size(), got.data()), 0u);
    expectSameResults(got, want, name(interface));
    EXPECT_EQ(piped.w.messages.texts(), single.w.messages.texts());
    EXPECT_EQ(piped.w.messages.shown.size(), 1u);
  }
}

TEST(RegisterPipeline, NoUsableTransportReadsAsSingleReadsDo) {
  for (int16_t interface : {kInterfaceUsb, kInterfaceNone, int16_t{9}}) {
    Link single(interface), piped(interface);
    for (Link* l : {&single, &piped}) {
      l->w.ctx.usb.SelectedCard.Present = 0;
      l->w.ctx.usb.RxWords[2] = 0x8123;
    }
    const Rows rows = {SUPPLY_OUT, COMMAND, TEMP_OUT, PROD_ID};
    const auto want = ReadRegisterList(single.w.ctx, rows, false);
    const auto got = ReadRegisterList(piped.w.ctx, rows, true);
    expectSameResults(got, want, name(interface));
    EXPECT_TRUE(piped.monitor.frames().empty());
    EXPECT_TRUE(piped.w.messages.shown.empty());
  }
}

}  // namespace
}  // namespace vexa
