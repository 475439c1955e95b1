#pragma once

#include <string>

#include "app/app_context.h"
#include "sim/null_devices.h"
#include "sim/recording_services.h"
#include "sim/sim_clock.h"

namespace vexa::testing {

// An isolated program world on virtual time: simulated clock and busy loop, recorded message
// boxes and UI hooks, a temporary working folder, no devices attached. Tests attach the
// simulated devices they need by pointing ctx.platform at them.
class SimWorld {
  std::string folder_;  // first: the paths below point into it

 public:
  // `secondsPerPass`: virtual cost of one inner delay-loop pass. The delay state starts
  // calibrated at 1 pass per 10 us unless `calibrated` is false.
  explicit SimWorld(double secondsPerPass = 1e-8, bool calibrated = true);
  ~SimWorld();
  SimWorld(const SimWorld&) = delete;
  SimWorld& operator=(const SimWorld&) = delete;

  // A fresh folder, removed with the world.
  const std::string& folder() const { return folder_; }

  sim::SimClock clock;
  sim::SimBusyLoop busy;
  sim::RecordingMessageService messages;
  sim::RecordingUiHooks ui;
  sim::FixedPaths paths;
  sim::FixedSystemInfo system;
  sim::NullPortIo port;
  sim::FixedPortAccess portAccess;
  sim::NullUsbDriver usb;
  sim::RecordingDiagnostics diagnostics;
  AppContext ctx;

 private:
  static std::string makeFolder();
};

}  // namespace vexa::testing
