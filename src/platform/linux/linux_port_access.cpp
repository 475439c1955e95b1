#include "platform/linux/linux_port_access.h"

#include <cerrno>
#include <filesystem>

#include "platform/linux/direct_port_io.h"
#include "platform/linux/ppdev_port_io.h"

namespace vexa::linux_platform {

LinuxPortAccess::LinuxPortAccess(PortAccessPaths paths) : paths_(std::move(paths)) {}

LinuxPortAccess::~LinuxPortAccess() {
  io_.target = nullptr;
}

bool LinuxPortAccess::grant(uint16_t base, std::string& cause) {
  if (backend_ && grantedBase_ == base) return true;

  std::unique_ptr<PortIo> chosen;
  std::string chosenName;
  std::error_code ec;
  std::string device;
  if (std::filesystem::is_directory(paths_.procParportDir, ec)) {
    const std::string name = FindParportByAddress(paths_.procParportDir, base);
    if (name.empty()) {
      cause = CauseNoPortAt(base, paths_.procParportDir);
      return false;
    }
    const std::string holder = ActivePortHolder(paths_.procParportDir, name);
    if (!holder.empty() && holder != "none" && holder.rfind("ppdev", 0) != 0) {
      cause = CauseClaimedBy(name, holder);
      return false;
    }
    device = paths_.devDir + "/" + name;
    if (std::filesystem::exists(device, ec)) {
      chosen = PpdevPortIo::open(device, base, cause);
      if (!chosen) return false;
      chosenName = device;
    }
  }
  if (!chosen) {
    // No ppdev device for the port: direct port I/O, where this process may use it.
    std::string directCause;
    if (paths_.allowDirectIo) chosen = DirectPortIo::open(base, directCause);
    if (!chosen) {
      if (!device.empty())
        cause = CauseOpenFailed(device, ENOENT);
      else if (paths_.allowDirectIo)
        cause = directCause;
      else
        cause = CauseNoPortAt(base, paths_.procParportDir);
      return false;
    }
    chosenName = "direct I/O";
  }
  io_.target = nullptr;
  backend_ = std::move(chosen);
  backendName_ = chosenName;
  grantedBase_ = base;
  io_.target = backend_.get();
  return true;
}

}  // namespace vexa::linux_platform
