#pragma once

#include "app/app_context.h"
#include "app/delay.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "sim/bus_monitor.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "support/sim_world.h"

namespace vexa {

// The simulated sensor behind a (silent) bus monitor, reached by the simulated parallel port at
// 0x378 and by a full-speed simulated USB card in slot 0, with `interface` selected. With
// `realWaits` the program waits on the real clock and busy loop (calibrated), and the card's bus
// time passes on the wall clock; otherwise everything runs on virtual time.
template <typename Busy = linux_platform::LinuxBusyLoop>
struct SimBenchWorld {
  SimBenchWorld(int16_t interface, bool realWaits)
      : sensor(realWaits ? static_cast<Clock&>(realClock) : world.clock),
        monitor(sensor),
        usb(realWaits ? nullptr : &world.clock) {
    monitor.setRecording(false);
    port.attach(&monitor);
    sim::SimUsbCardConfig card;
    card.pipe3PacketSize = 64;  // full speed
    card.wallClockBusTime = realWaits;
    sim::SimUsbCard& plugged = usb.plug(0, card);
    plugged.attach(&monitor);
    plugged.setRecording(false);
    AppContext& ctx = world.ctx;
    ctx.platform.port = &port;
    ctx.platform.usb = &usb;
    if (realWaits) {
      ctx.platform.clock = &realClock;
      ctx.platform.busy = &busy;
      CalibrateDelayQuickly(ctx, 0.05);
    }
    ctx.settings.Interface = interface;
    ctx.settings.PortAddress = 0x378;
  }

  testing::SimWorld world;
  linux_platform::LinuxClock realClock;
  Busy busy;
  sim::SimSensor sensor;
  sim::BusMonitor monitor;
  sim::SimParallelPort port{0x378};
  sim::SimUsbDriver usb;
};

}  // namespace vexa
