#include "support/sim_world.h"

#include <cstdlib>
#include <filesystem>

namespace vexa::testing {

namespace {
Platform platformOf(SimWorld& w) {
  Platform p;
  p.clock = &w.clock;
  p.busy = &w.busy;
  p.messages = &w.messages;
  p.ui = &w.ui;
  p.paths = &w.paths;
  p.system = &w.system;
  p.port = &w.port;
  p.portAccess = &w.portAccess;
  p.usb = &w.usb;
  p.diagnostics = &w.diagnostics;
  return p;
}
}  // namespace

std::string SimWorld::makeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vexa-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  return made ? std::string(made) : std::filesystem::temp_directory_path().string();
}

SimWorld::SimWorld(double secondsPerPass, bool calibrated)
    : folder_(makeFolder()),
      clock(36000.0, 0.0),
      busy(clock, secondsPerPass),
      paths(folder_, folder_),
      ctx(platformOf(*this)) {
  BuildRegisterTable(ctx.registers);
  if (calibrated) {
    ctx.delay.DelayCalibrated = -1;
    ctx.delay.DelayCount = static_cast<int32_t>(1e-5 / secondsPerPass + 0.5);
    if (ctx.delay.DelayCount < 1) ctx.delay.DelayCount = 1;
  }
}

SimWorld::~SimWorld() {
  std::error_code ignored;
  if (folder_.find("vexa-test-") != std::string::npos)
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace vexa::testing
