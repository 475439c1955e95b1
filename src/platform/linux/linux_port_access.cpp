#include "platform/linux/linux_port_access.h"

#include <cerrno>
#include <filesystem>

#include "platform/linux/direct_port_io.h"
#include "platform/linux/ppdev_port_io.h"

namespace vexa::linux_platform {

LinuxPortAccess::LinuxPortAccess(PortAccessPaths paths, Diagnostics* diagnostics, PortOpener opener)
    : paths_(std::move(paths)), diagnostics_(diagnostics), opener_(std::move(opener)) {}

LinuxPortAccess::~LinuxPortAccess() {
  io_.target = nullptr;
}

bool LinuxPortAccess::grant(uint16_t base, std::string& cause) {
  if (backend_ && grantedBase_ == base) return true;
  attempted_ = true;
  // The old port goes first: direct I/O permissions of overlapping ranges are one bitmap, so
  // releasing the old range after opening the new one would revoke part of the new.
  io_.target = nullptr;
  const bool hadPort = backend_ != nullptr;
  const uint16_t oldBase = grantedBase_;
  backend_.reset();
  backendName_.clear();
  std::string chosenName;
  std::unique_ptr<PortIo> chosen = openPort(base, chosenName, cause);
  if (!chosen) {
    // Back to the port held before, which the program may still address.
    std::string ignored;
    if (hadPort) backend_ = openPort(oldBase, backendName_, ignored);
    if (!backend_) backendName_.clear();
    refusedOnce_ = true;
    refusedBase_ = base;
    return false;
  }
  backend_ = std::move(chosen);
  backendName_ = chosenName;
  grantedBase_ = base;
  io_.target = backend_.get();
  refusedOnce_ = false;
  return true;
}

bool LinuxPortAccess::holds(uint16_t base) const {
  return backend_ != nullptr && grantedBase_ == base;
}

void LinuxPortAccess::follow(uint16_t port) {
  if (!attempted_) return;  // access is asked for by the program first, not by a stray write
  // The data, status and control registers of the granted port are its own.
  if (backend_ && port >= grantedBase_ && port <= grantedBase_ + 2) {
    io_.target = backend_.get();
    return;
  }
  // Without a grant, or at another address: one try per address, so a port that cannot be had
  // does not cost a grant attempt on every write.
  if (refusedOnce_ && refusedBase_ == port) return;
  std::string cause;
  if (grant(port, cause)) return;
  io_.target = nullptr;  // the old port must not see frames meant for another address
  if (diagnostics_ != nullptr) diagnostics_->cause(cause);
}

std::unique_ptr<PortIo> LinuxPortAccess::openPort(uint16_t base, std::string& chosenName,
                                                  std::string& cause) {
  if (opener_) {
    chosenName = "port opener";
    return opener_(base, cause);
  }
  std::unique_ptr<PortIo> chosen;
  std::error_code ec;
  std::string device;
  if (std::filesystem::is_directory(paths_.procParportDir, ec)) {
    const std::string name = FindParportByAddress(paths_.procParportDir, base);
    if (name.empty()) {
      cause = CauseNoPortAt(base, paths_.procParportDir);
      return nullptr;
    }
    const std::string holder = ActivePortHolder(paths_.procParportDir, name);
    if (!holder.empty() && holder != "none" && holder.rfind("ppdev", 0) != 0) {
      cause = CauseClaimedBy(name, holder);
      return nullptr;
    }
    device = paths_.devDir + "/" + name;
    if (std::filesystem::exists(device, ec)) {
      chosen = PpdevPortIo::open(device, base, cause);
      if (!chosen) return nullptr;
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
      return nullptr;
    }
    chosenName = "direct I/O";
  }
  return chosen;
}

}  // namespace vexa::linux_platform
