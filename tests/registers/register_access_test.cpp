#include "registers/register_access.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/bus_monitor.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "registers/register_file_slave.h"
#include "support/sim_world.h"
#include "support/still_sensor.h"
#include "transport/usb/ez_usb.h"

namespace vexa {
namespace {

using testing::RegisterFileSlave;

constexpr uint16_t kBase = 0x378;

// A program world whose selected transport reaches `slave` (by default a simulated sensor on the
// world's clock) through a bus monitor: the pin-level parallel port, or the simulated USB card
// found as the program finds it.
struct Link {
  explicit Link(int16_t interface, sim::SpiSlave* slave = nullptr)
      : sensor(slave ? nullptr : std::make_unique<sim::SimSensor>(w.clock, testing::StillSensor())),
        monitor(slave ? *slave : *sensor),
        usb(&w.clock) {
    port.attach(&monitor);
    usb.plug(0).attach(&monitor);
    w.ctx.platform.port = &port;
    w.ctx.platform.usb = &usb;
    w.ctx.settings.PortAddress = kBase;
    w.ctx.settings.Interface = interface;
    if (interface == kInterfaceUsb) {
      FindUsbCard(w.ctx);
      EXPECT_NE(w.ctx.usb.SelectedCard.Present, 0);
    }
    monitor.clear();
  }
  std::vector<uint16_t> mosi() const {
    std::vector<uint16_t> out;
    for (const auto& f : monitor.frames()) {
      EXPECT_EQ(f.bitCount, 16);
      out.push_back(f.mosi);
    }
    return out;
  }

  testing::SimWorld w;
  std::unique_ptr<sim::SimSensor> sensor;
  sim::BusMonitor monitor;
  sim::SimParallelPort port{kBase};
  sim::SimUsbDriver usb;
};

const int16_t kTransports[] = {kInterfaceParallel, kInterfaceUsb};

std::string transportName(int16_t interface) {
  return interface == kInterfaceParallel ? "parallel" : "usb";
}

TEST(RegisterAccess, WritesTwoByteFramesInRegisterOrder) {
  const struct {
    int16_t index;
    int32_t value;
    std::vector<uint16_t> frames;
  } cases[] = {
      {SMPL_PRD, 0x1234, {0xB712, 0xB634}},
      {ALM_SMPL1, 0x1234, {0xC434, 0xC512}},     // low byte first
      {SMPL_PRD, 0x7ABC1234, {0xB712, 0xB634}},  // only the low 16 bits count
      {COMMAND, 0x0008, {0xBF00, 0xBE08}},       // a one-byte register writes the byte above
      {XGYRO_OFF, -1, {0x9BFF, 0x9AFF}},
  };
  for (int16_t interface : kTransports) {
    for (const auto& c : cases) {
      RegisterFileSlave slave;
      Link link(interface, &slave);
      WriteRegister(link.w.ctx, c.index, c.value);
      EXPECT_EQ(link.mosi(), c.frames)
          << transportName(interface) << " " << link.w.ctx.registers.Label[c.index];
    }
  }
}

TEST(RegisterAccess, ReadOnlyAndUnreadableRowsSendNothing) {
  for (int16_t interface : kTransports) {
    RegisterFileSlave slave;
    Link link(interface, &slave);
    AccessState& a = link.w.ctx.access;
    a.LastRaw = 11;
    a.LastScaled = 12;
    a.LastHigh = 13;
    a.LastLow = 14;
    const double before = link.w.clock.monotonicSeconds();
    WriteRegister(link.w.ctx, STATUS, 0x1234);
    WriteRegister(link.w.ctx, XGYRO_OUT, 0x1234);
    ReadRegister(link.w.ctx, COMMAND);
    EXPECT_TRUE(link.monitor.frames().empty()) << transportName(interface);
    EXPECT_EQ(link.w.clock.monotonicSeconds(), before) << "no write wait either";
    EXPECT_EQ(a.LastRaw, 11);
    EXPECT_EQ(a.LastScaled, 12.0f);
    EXPECT_EQ(a.LastHigh, 13);
    EXPECT_EQ(a.LastLow, 14);
  }
}

TEST(RegisterAccess, MasksSignExtendsAndScales) {
  constexpr int32_t kUntouched = 777;
  const struct {
    int16_t index;
    uint16_t reply;
    int32_t raw;
    float scaled;
    int32_t newData;  // kUntouched: the row has no flag
    int32_t alarm;
  } cases[] = {
      {XGYRO_OUT, 0x3FFF, -1, -0.049996212f, 0, 0},
      {XGYRO_OUT, 0xA000, -8192, -8192 * 0.049996212f, 32768, 0},
      {XGYRO_OUT, 0x5FFF, 8191, 8191 * 0.049996212f, 0, 16384},
      {SUPPLY_OUT, 0x8FFF, 4095, 4095 * 0.002417582f, 32768, 0},
      {TEMP_OUT, 0x0FFF, -1, 25 - 0.1357f, 0, 0},
      {TEMP_OUT, 0xC800, -2048, 25 - 2048 * 0.1357f, 32768, 16384},
      {STATUS, 0xFFFF, 65535, 65535, kUntouched, kUntouched},
      {PROD_ID, 0x6A2E, 27182, 27182, kUntouched, kUntouched},
      {SMPL_PRD, 0xFF81, 0x81, 0x81, kUntouched, kUntouched},
      {XGYRO_OFF, 0x1FFF, -1, -0.012499053f, kUntouched, kUntouched},
  };
  for (int16_t interface : kTransports) {
    for (const auto& c : cases) {
      RegisterFileSlave slave;
      Link link(interface, &slave);
      const RegisterTable& t = link.w.ctx.registers;
      slave.words[static_cast<uint8_t>(t.BaseAddr[c.index])] = c.reply;
      AccessState& a = link.w.ctx.access;
      a.LastNewData = kUntouched;
      a.LastAlarm = kUntouched;
      ReadRegister(link.w.ctx, c.index);
      const std::string what = transportName(interface) + " " + t.Label[c.index];
      EXPECT_EQ(a.LastRaw, c.raw) << what;
      EXPECT_FLOAT_EQ(a.LastScaled, c.scaled) << what;
      EXPECT_EQ(a.LastHigh, c.reply >> 8) << what;
      EXPECT_EQ(a.LastLow, c.reply & 0xFF) << what;
      EXPECT_EQ(a.LastNewData, c.newData) << what;
      EXPECT_EQ(a.LastAlarm, c.alarm) << what;
      const uint16_t command = static_cast<uint16_t>(t.BaseAddr[c.index] << 8);
      // The reply comes in the second frame: an all-zero one on the port, the command repeated
      // on the card.
      const uint16_t second = interface == kInterfaceParallel ? 0 : command;
      EXPECT_EQ(link.mosi(), (std::vector<uint16_t>{command, second})) << what;
    }
  }
}

TEST(RegisterAccess, NoInterfaceSendsNothingAndReadsZero) {
  for (int16_t interface : {kInterfaceNone, int16_t{3}}) {
    RegisterFileSlave slave;
    slave.words[0x16] = 0x0123;
    Link link(interface, &slave);
    ReadRegister(link.w.ctx, TEMP_OUT);
    EXPECT_EQ(link.w.ctx.access.LastRaw, 0);
    EXPECT_FLOAT_EQ(link.w.ctx.access.LastScaled, 25.0f) << "the row's offset alone";
    WriteRegister(link.w.ctx, SMPL_PRD, 0x1234);
    EXPECT_TRUE(link.monitor.frames().empty());
    EXPECT_TRUE(link.port.accesses().empty());
  }
}

TEST(RegisterAccess, WriteWaitsATenthOfAMillisecondAfterItsFrames) {
  RegisterFileSlave slave;
  Link parallel(kInterfaceParallel, &slave);
  double start = parallel.w.clock.monotonicSeconds();
  WriteRegister(parallel.w.ctx, SMPL_PRD, 0x0A);
  // Two frames, each closed by 0.1 ms, then the write's own 0.1 ms.
  EXPECT_NEAR(parallel.w.clock.monotonicSeconds() - start, 3e-4, 1e-9);

  Link none(kInterfaceNone, &slave);
  start = none.w.clock.monotonicSeconds();
  WriteRegister(none.w.ctx, SMPL_PRD, 0x0A);
  EXPECT_NEAR(none.w.clock.monotonicSeconds() - start, 1e-4, 1e-9) << "the wait is kept";
}

TEST(RegisterAccess, ControlShadowsComeFromTheirRegisters) {
  RegisterFileSlave slave;
  slave.words[0x32] = 0x0F0A;  // GPIO_CTRL
  slave.words[0x48] = 0x8C17;  // ALM_CTRL
  slave.words[0x34] = 0x0085;  // MSC_CTRL
  Link link(kInterfaceParallel, &slave);
  ReadControlShadows(link.w.ctx);
  EXPECT_EQ(link.w.ctx.access.GpioCtrlShadow, 0x0F0A);
  EXPECT_EQ(link.w.ctx.access.AlmCtrlShadow, 0x8C17);
  EXPECT_EQ(link.w.ctx.access.MscCtrlShadow, 0x0085);
}

TEST(RegisterAccessEndToEnd, ReadsWhatTheSensorHolds) {
  for (int16_t interface : kTransports) {
    Link link(interface);
    sim::SimSensor& sensor = *link.sensor;
    for (int16_t index : {XGYRO_OUT, ZACCL_OUT, TEMP_OUT, PROD_ID}) {
      ReadRegister(link.w.ctx, index);
      const RegisterTable& t = link.w.ctx.registers;
      const int n = t.ReadLen[index];
      const int32_t bits = sensor.peekRegister(index) & ((1 << n) - 1);
      const int32_t expected =
          t.TwosCompl[index] ? (bits & ((1 << (n - 1)) - 1)) - (bits & (1 << (n - 1))) : bits;
      EXPECT_EQ(link.w.ctx.access.LastRaw, expected)
          << transportName(interface) << " " << t.Label[index];
    }
  }
}

TEST(RegisterAccessEndToEnd, WriteThenReadBackAgrees) {
  for (int16_t interface : kTransports) {
    Link link(interface);
    sim::SimSensor& sensor = *link.sensor;
    for (int32_t value : {0x0A, 0x00, 0xFF}) {
      WriteRegister(link.w.ctx, SMPL_PRD, value);
      ReadRegister(link.w.ctx, SMPL_PRD);
      EXPECT_EQ(link.w.ctx.access.LastRaw, value) << transportName(interface);
    }
    EXPECT_EQ(sensor.peekRegister(SMPL_PRD), 0xFF);
  }
}

}  // namespace
}  // namespace vexa
