#include "session/platform_set.h"

#include <cerrno>
#include <iostream>

#include "platform/ftdi_trace.h"
#include "platform/linux/libftdi_io.h"
#include "platform/linux/libusb_driver.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "platform/linux/linux_paths.h"
#include "platform/linux/linux_port_access.h"
#include "platform/linux/linux_spidev_io.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/stderr_diagnostics.h"
#include "sim/bus_monitor.h"
#include "sim/null_devices.h"
#include "sim/sim_bench.h"
#include "sim/sim_ftdi_io.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_spidev.h"
#include "sim/sim_usb_card.h"
#include "sim/still_bench.h"
#include "sim/unplug_fault.h"

namespace vexa {

struct PlatformSet::Parts {
  linux_platform::LinuxClock clock;
  linux_platform::LinuxBusyLoop busy;
  linux_platform::LinuxPaths paths;
  linux_platform::LinuxSystemInfo system;
  std::unique_ptr<linux_platform::StderrDiagnostics> diagnostics;

  // Real hardware.
  std::unique_ptr<linux_platform::LinuxPortAccess> portAccess;
  std::unique_ptr<UsbDriver> usb;

  // The simulated world: the sensor behind a bus monitor, reached by the port and the card.
  std::unique_ptr<sim::SimSensor> sensor;
  std::unique_ptr<sim::BusMonitor> monitor;
  std::unique_ptr<sim::UnplugAfterFrames> unplugFault;  // between the adapters and the monitor
  std::unique_ptr<sim::SimParallelPort> simPort;
  std::unique_ptr<sim::FixedPortAccess> simPortAccess;
  sim::SimUsbDriver* simUsb = nullptr;
  std::unique_ptr<BenchControl> bench;

  // SPI adapters: real or simulated.
  std::unique_ptr<FtdiIo> ftdi;
  std::unique_ptr<TracingFtdiIo> ftdiTrace;
  std::unique_ptr<SpidevIo> spidev;
  sim::SimFtdiIo* simFtdi = nullptr;
  sim::SimSpidev* simSpidev = nullptr;
};

PlatformSet::PlatformSet(const PlatformOptions& options, MessageService& messages, UiHooks& ui)
    : options_(options), parts_(std::make_unique<Parts>()) {
  Parts& p = *parts_;
  if (options_.diagnostics == nullptr)
    p.diagnostics = std::make_unique<linux_platform::StderrDiagnostics>(std::cerr);

  platform_.clock = options_.clock ? options_.clock : &p.clock;
  platform_.busy = options_.busy ? options_.busy : &p.busy;
  platform_.messages = &messages;
  platform_.ui = &ui;
  platform_.paths = &p.paths;
  platform_.system = &p.system;
  platform_.diagnostics = options_.diagnostics ? options_.diagnostics : p.diagnostics.get();

  if (options_.simulate) {
    sim::SimSensorConfig config;
    config.seed = options_.sensorSeed;
    if (options_.simulateStill) sim::LieStill(config);
    if (options_.configureSensor) options_.configureSensor(config);
    p.sensor = std::make_unique<sim::SimSensor>(*platform_.clock, config);
    p.monitor = std::make_unique<sim::BusMonitor>(*p.sensor);
    p.monitor->setRecording(false);  // a long session must not grow without bound
    if (options_.trace) {
      std::ostream& out = options_.traceOut ? *options_.traceOut : std::cerr;
      p.monitor->setTrace([&out](const std::string& line) { out << line << '\n'; });
    }
    // What the card, the FTDI board and the spidev node reach: the monitor, or a switch in front
    // of it that pulls them out after the frames asked for.
    sim::SpiSlave* adapterBus = p.monitor.get();
    if (options_.unplugAfterFrames) {
      p.unplugFault =
          std::make_unique<sim::UnplugAfterFrames>(*p.monitor, *options_.unplugAfterFrames, [&p] {
            if (p.simUsb != nullptr) p.simUsb->unplug(0);
            if (p.simFtdi != nullptr && p.simFtdi->board(0) != nullptr)
              p.simFtdi->board(0)->plugged = false;
            if (p.simSpidev != nullptr) {
              p.simSpidev->messageError = ENODEV;
              for (const std::string& node : p.simSpidev->nodes())
                p.simSpidev->openErrors[node] = ENOENT;
            }
          });
      adapterBus = p.unplugFault.get();
    }
    p.simPort = std::make_unique<sim::SimParallelPort>(options_.simulatedPortBase);
    p.simPort->attach(p.monitor.get());
    p.simPortAccess = std::make_unique<sim::FixedPortAccess>();
    auto usb = std::make_unique<sim::SimUsbDriver>();
    sim::SimUsbCardConfig cardConfig;
    cardConfig.pipe3PacketSize = 64;  // full speed
    cardConfig.wallClockBusTime = options_.simulatedBusTime;
    sim::SimUsbCard& card = usb->plug(0, cardConfig);
    card.attach(adapterBus);
    card.setRecording(false);  // as the bus monitor: a long session must not grow
    p.simUsb = usb.get();
    p.usb = std::move(usb);
    platform_.port = p.simPort.get();
    platform_.portAccess = p.simPortAccess.get();
    p.bench = std::make_unique<sim::SimBench>(*p.sensor);
    platform_.bench = p.bench.get();
    auto ftdi = std::make_unique<sim::SimFtdiIo>();
    ftdi->plug(sim::SimFtdiIo::ft232h()).engine.attach(adapterBus);
    ftdi->spendBusTime({nullptr, options_.simulatedBusTime});
    p.simFtdi = ftdi.get();
    p.ftdi = std::move(ftdi);
    auto spidev = std::make_unique<sim::SimSpidev>();
    spidev->attach(adapterBus);
    spidev->spendBusTime({nullptr, options_.simulatedBusTime});
    p.simSpidev = spidev.get();
    p.spidev = std::move(spidev);
  } else {
    p.portAccess = std::make_unique<linux_platform::LinuxPortAccess>(
        linux_platform::PortAccessPaths{}, platform_.diagnostics);
    std::function<uint16_t()> vendor = options_.cardVendorIdSource;
    if (!vendor) vendor = [id = options_.cardVendorId] { return id; };
    p.usb = std::make_unique<LibusbDriver>(platform_.diagnostics, std::move(vendor));
    platform_.port = &p.portAccess->io();
    platform_.portAccess = p.portAccess.get();
    p.ftdi = std::make_unique<LibftdiIo>();
    p.spidev = std::make_unique<LinuxSpidevIo>();
  }
  platform_.usb = p.usb.get();
  platform_.ftdi = p.ftdi.get();
  if (options_.trace) {
    std::ostream& out = options_.traceOut ? *options_.traceOut : std::cerr;
    p.ftdiTrace = std::make_unique<TracingFtdiIo>(
        *p.ftdi, [&out](const std::string& line) { out << line << '\n'; });
    platform_.ftdi = p.ftdiTrace.get();
  }
  platform_.spidev = p.spidev.get();
}

PlatformSet::~PlatformSet() = default;

sim::SimSensor* PlatformSet::sensor() {
  return parts_->sensor.get();
}
sim::SimParallelPort* PlatformSet::simulatedPort() {
  return parts_->simPort.get();
}
sim::SimUsbCard* PlatformSet::simulatedCard() {
  return parts_->simUsb ? parts_->simUsb->card(0) : nullptr;
}
sim::BusMonitor* PlatformSet::busMonitor() {
  return parts_->monitor.get();
}
sim::SimFtdiIo* PlatformSet::simulatedFtdi() {
  return parts_->simFtdi;
}
sim::SimSpidev* PlatformSet::simulatedSpidev() {
  return parts_->simSpidev;
}

}  // namespace vexa
