#pragma once

#include <string>
#include <vector>

#include "sim/bus_monitor.h"
#include "sim/sim_ftdi_io.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_spidev.h"
#include "sim/sim_usb_card.h"
#include "support/sim_world.h"
#include "transport/adapter/adapter_spi.h"
#include "transport/usb/ez_usb.h"

namespace vexa::testing {

// A program world whose selected transport - parallel port, USB card, FTDI board or spidev -
// reaches `slave` through a bus monitor, each simulated at its own level (pins, card protocol,
// MPSSE bytes, transfer structures), and brought up as the program brings it up.
struct TransportLink {
  static constexpr uint16_t kBase = 0x378;

  TransportLink(int16_t interface, sim::SpiSlave& slave) : monitor(slave), usb(&w.clock) {
    port.attach(&monitor);
    usb.plug(0).attach(&monitor);
    ftdiBoard = &ftdi.plug(sim::SimFtdiIo::ft232h());
    ftdiBoard->engine.attach(&monitor);
    spidev.attach(&monitor);
    ftdi.spendBusTime({&w.clock, false});
    spidev.spendBusTime({&w.clock, false});
    Platform& p = w.ctx.platform;
    p.port = &port;
    p.usb = &usb;
    p.ftdi = &ftdi;
    p.spidev = &spidev;
    w.ctx.settings.PortAddress = kBase;
    w.ctx.settings.Interface = interface;
    if (interface == kInterfaceUsb) FindUsbCard(w.ctx);
    if (IsAdapterInterface(interface)) OpenAdapter(w.ctx, interface);
    monitor.clear();
  }

  // The link refers to the simulated devices below, which go before the world does.
  ~TransportLink() { CloseAdapter(w.ctx); }

  static std::string name(int16_t interface) { return InterfaceName(interface); }

  SimWorld w;
  sim::BusMonitor monitor;
  sim::SimParallelPort port{kBase};
  sim::SimUsbDriver usb;
  sim::SimFtdiIo ftdi;
  sim::SimFtdiIo::Board* ftdiBoard = nullptr;
  sim::SimSpidev spidev;
};

}  // namespace vexa::testing
