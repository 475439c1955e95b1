#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>

#include "app/app_state.h"
#include "platform/platform.h"

namespace vexa {

namespace sim {
class SimParallelPort;
class SimSensor;
struct SimSensorConfig;
class SimUsbCard;
class BusMonitor;
class SimFtdiIo;
class SimSpidev;
}  // namespace sim

// How one program reaches the world.
struct PlatformOptions {
  // The simulated sensor behind a simulated parallel port, a simulated USB card "Ezusb-0", a
  // simulated FT232H board and a simulated spidev node, instead of the machine's own devices.
  bool simulate = false;
  // The simulated port answers at this address only; unset, it answers wherever the program
  // puts it.
  std::optional<uint16_t> simulatedPortBase;
  // Vendor ID the real USB backend looks for: asked at every device open when given (the
  // windows pass the program's CardVendorId), else the fixed value.
  std::function<uint16_t()> cardVendorIdSource;
  uint16_t cardVendorId = kDefaultCardVendorId;
  // One line per bulk transfer to and from an FTDI board (real or simulated), and on the
  // simulated bus one line per frame, to `traceOut`.
  bool trace = false;
  std::ostream* traceOut = nullptr;  // default standard error
  // Where technical causes go; default: one line each on standard error.
  Diagnostics* diagnostics = nullptr;
  // With this set the simulated card (a full-speed one), FTDI board and spidev node spend their
  // bus time (sim/bus_time_model.h) on the wall clock, as real ones would. Off, they answer at
  // once (tests give them a virtual clock instead).
  bool simulatedBusTime = false;
  // Simulated world only: the USB card, the FTDI board and the spidev node are pulled out once
  // this many SPI frames have crossed the bus (sim::UnplugAfterFrames); the parallel port, which
  // cannot tell, goes on.
  std::optional<uint64_t> unplugAfterFrames;
  // Seed of the simulated sensor's motion and noise.
  uint64_t sensorSeed = 1;
  // The simulated sensor lies still, with its stated noise figures (sim::LieStill).
  bool simulateStill = false;
  // A last change to the simulated sensor before it is built (a test's other product, say).
  std::function<void(sim::SimSensorConfig&)> configureSensor;
  // Another clock and busy loop for the whole world (virtual time for tests); they must
  // outlive the set. Unset: the wall clock and the real busy loop.
  Clock* clock = nullptr;
  BusyLoop* busy = nullptr;
};

// Builds and owns one program's platform services: real Linux ones, or the simulated sensor
// world on real time. Message boxes and window-system hooks come from the caller (the windows
// or the console) and must outlive the set.
class PlatformSet {
 public:
  PlatformSet(const PlatformOptions& options, MessageService& messages, UiHooks& ui);
  ~PlatformSet();
  PlatformSet(const PlatformSet&) = delete;
  PlatformSet& operator=(const PlatformSet&) = delete;

  // The services, valid as long as this set.
  const Platform& platform() const { return platform_; }
  const PlatformOptions& options() const { return options_; }

  // The simulated world, when simulating; null otherwise.
  sim::SimSensor* sensor();
  sim::SimParallelPort* simulatedPort();
  sim::SimUsbCard* simulatedCard();
  sim::BusMonitor* busMonitor();
  sim::SimFtdiIo* simulatedFtdi();
  sim::SimSpidev* simulatedSpidev();

 private:
  struct Parts;
  PlatformOptions options_;
  std::unique_ptr<Parts> parts_;
  Platform platform_;
};

}  // namespace vexa
