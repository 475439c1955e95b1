// Each simulated transport spends the bus time its model states, on the virtual clock in
// tests, and on the wall clock when the program simulates.
#include <gtest/gtest.h>

#include <sstream>

#include "session/platform_set.h"
#include "sim/bus_time_model.h"
#include "sim/recording_services.h"
#include "sim/sim_ftdi_io.h"
#include "sim/sim_sensor.h"
#include "sim/sim_spidev.h"
#include "sim/sim_usb_card.h"
#include "registers/register_access.h"
#include "registers/register_file_slave.h"
#include "support/four_transports.h"
#include "transport/ftdi/mpsse_commands.h"

namespace vexa {
namespace {

TEST(BusTimeModel, ARegisterReadCostsWhatTheModelStates) {
  mpsse::SpiSetup ftdi;  // the defaults: FT232H, 1 MHz, 0.1 ms pause
  const struct {
    int16_t interface;
    double seconds;
  } cases[] = {
      // The card of TransportLink is a high-speed one.
      {kInterfaceUsb, sim::roundTripSeconds(sim::kHighSpeedRequestSeconds, 0)},
      {kInterfaceFtdi, sim::ftdiBatchSeconds(ftdi.chip, mpsse::framesSeconds(ftdi, 2))},
      // The pause after each frame is the program's own wait, also on the virtual clock.
      {kInterfaceSpidev, 2 * sim::spidevFrameSeconds(1e6, 100e-6)},
  };
  for (const auto& c : cases) {
    testing::RegisterFileSlave slave;
    testing::TransportLink link(c.interface, slave);
    const double before = link.w.clock.monotonicSeconds();
    ReadRegister(link.w.ctx, XGYRO_OUT);
    // The busy loop's 10-us steps round the spidev pause up by at most one step per frame.
    EXPECT_NEAR(link.w.clock.monotonicSeconds() - before, c.seconds, 2e-5)
        << testing::TransportLink::name(c.interface);
    EXPECT_GE(link.w.clock.monotonicSeconds() - before, c.seconds * (1 - 1e-9))
        << testing::TransportLink::name(c.interface);
  }
  // Mode 3: 15 clocked cycles and 13 idle bytes per frame at 1 MHz, two frames, and the batch.
  EXPECT_DOUBLE_EQ(sim::ftdiBatchSeconds(ftdi.chip, mpsse::framesSeconds(ftdi, 2)), 363e-6);
}

TEST(BusTimeModel, AFullSpeedCardsRegisterReadIsItsStatedRoundTrip) {
  testing::SimWorld w;
  sim::SimUsbDriver usb(&w.clock);
  sim::SimUsbCardConfig fullSpeed;
  fullSpeed.pipe3PacketSize = 64;
  sim::SimSensor sensor(w.clock);
  usb.plug(0, fullSpeed).attach(&sensor);
  w.ctx.platform.usb = &usb;
  w.ctx.settings.Interface = kInterfaceUsb;
  FindUsbCard(w.ctx);
  const double before = w.clock.monotonicSeconds();
  ReadRegister(w.ctx, XGYRO_OUT);
  EXPECT_DOUBLE_EQ(w.clock.monotonicSeconds() - before, sim::kFullSpeedRoundTripSeconds);
}

TEST(BusTimeModel, TheProgramsSimulationSpendsBusTimeOnTheWallClock) {
  for (bool wall : {false, true}) {
    PlatformOptions options;
    options.simulate = true;
    options.simulatedBusTime = wall;
    std::ostringstream sink;
    options.traceOut = &sink;
    sim::RecordingMessageService messages;
    UiHooks ui;
    PlatformSet world(options, messages, ui);
    EXPECT_EQ(world.simulatedCard()->config().wallClockBusTime, wall);
    EXPECT_EQ(world.simulatedFtdi()->busTime().wallClock, wall);
    EXPECT_EQ(world.simulatedSpidev()->busTime().wallClock, wall);
  }
}

}  // namespace
}  // namespace vexa
