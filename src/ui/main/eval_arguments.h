#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexa::ui {

// What vexa-eval was asked for on its command line.
struct EvalArguments {
  bool help = false;
  bool version = false;
  bool simulate = false;
  // The simulated sensor lies still with its stated noise figures.
  bool simulateStill = false;
  // The simulated module is laid still on its faces and edges in turn (accelerometer
  // calibration).
  bool simulatePoses = false;
  // --simulate-fault unplug-after=N: the simulated adapters are pulled out after N SPI frames.
  std::optional<uint64_t> unplugAfterFrames;
  // --view-log FILE...: the Log Viewer on these files alone.
  std::vector<std::string> logs;
  std::string screenshot;  // empty: none
  std::string window;      // with a screenshot: the window to capture; empty: the main window
  int vendorId = -1;       // -1: the default
  std::string database;    // --db: the results store for this run (empty: VexaEval.cfg's)
  // Any argument at all, as the program received them: read before the window system takes its
  // own options (-platform, -style, ...) out of the list.
  bool commandLineGiven = false;
  std::string error;  // a bad option; the program then ends with status 2
};

EvalArguments ParseEvalArguments(int argc, const char* const* argv);

}  // namespace vexa::ui
