#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/port_io.h"

namespace vexa::linux_platform {

// Where to look for the kernel's parallel ports; tests point it at a fake tree.
struct PortAccessPaths {
  std::string procParportDir = "/proc/sys/dev/parport";
  std::string devDir = "/dev";
  // Direct port I/O is tried only where ppdev is missing (no port folder at all).
  bool allowDirectIo = true;
};

// Grants this process the parallel port at an I/O address, and is the port the program then
// uses. The port at `base` is looked up among the kernel's parallel ports and claimed through
// its ppdev device; where the kernel lists no parallel port at all (ppdev or parport missing),
// direct port I/O is asked for instead. Until a grant succeeds, writes go nowhere and reads
// return 0xFF, as on a port with nothing attached.
class LinuxPortAccess : public PortAccess {
 public:
  explicit LinuxPortAccess(PortAccessPaths paths = {});
  ~LinuxPortAccess() override;

  bool grant(uint16_t base, std::string& cause) override;
  // The port I/O to hand to the program; valid as long as this object.
  PortIo& io() { return io_; }
  // "/dev/parport0", "direct I/O" or empty before a grant.
  const std::string& backend() const { return backendName_; }

 private:
  class Forwarder : public PortIo {
   public:
    void vbOut(uint16_t port, uint8_t value) override {
      if (target) target->vbOut(port, value);
    }
    uint8_t vbInp(uint16_t port) override { return target ? target->vbInp(port) : 0xFF; }
    PortIo* target = nullptr;
  };

  PortAccessPaths paths_;
  std::unique_ptr<PortIo> backend_;
  std::string backendName_;
  uint16_t grantedBase_ = 0;
  Forwarder io_;
};

}  // namespace vexa::linux_platform
