#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/diagnostics.h"
#include "platform/port_io.h"

namespace vexa::linux_platform {

// Where to look for the kernel's parallel ports; tests point it at a fake tree.
struct PortAccessPaths {
  std::string procParportDir = "/proc/sys/dev/parport";
  std::string devDir = "/dev";
  // Direct port I/O is tried only where ppdev is missing (no port folder at all).
  bool allowDirectIo = true;
};

// Opens the port whose data register is at `base`, or returns null with a one-line cause.
using PortOpener = std::function<std::unique_ptr<PortIo>(uint16_t base, std::string& cause)>;

// Grants this process the parallel port at an I/O address, and is the port the program then
// uses. The port at `base` is looked up among the kernel's parallel ports and claimed through
// its ppdev device; where the kernel lists no parallel port at all (ppdev or parport missing),
// direct port I/O is asked for instead. Until a grant succeeds, writes go nowhere and reads
// return 0xFF, as on a port with nothing attached.
//
// The address may change later in the run: a write to a data register outside the granted
// port (or any write while no grant is held) moves the grant to the port at that address. If
// that port cannot be had, its cause goes to `diagnostics` (once per address) and the writes
// stay inert. A move releases the old port before opening the new one (overlapping direct I/O
// ranges share their permissions), and takes the old one back when the new one is refused.
class LinuxPortAccess : public PortAccess {
 public:
  explicit LinuxPortAccess(PortAccessPaths paths = {}, Diagnostics* diagnostics = nullptr,
                           PortOpener opener = {});
  ~LinuxPortAccess() override;

  bool grant(uint16_t base, std::string& cause) override;
  bool holds(uint16_t base) const override;
  // The port I/O to hand to the program; valid as long as this object.
  PortIo& io() { return io_; }
  // "/dev/parport0", "direct I/O" or empty before a grant.
  const std::string& backend() const { return backendName_; }

 private:
  class Forwarder : public PortIo {
   public:
    explicit Forwarder(LinuxPortAccess& owner) : owner_(owner) {}
    void vbOut(uint16_t port, uint8_t value) override {
      owner_.follow(port);
      if (target) target->vbOut(port, value);
    }
    uint8_t vbInp(uint16_t port) override { return target ? target->vbInp(port) : 0xFF; }
    PortIo* target = nullptr;

   private:
    LinuxPortAccess& owner_;
  };

  std::unique_ptr<PortIo> openPort(uint16_t base, std::string& chosenName, std::string& cause);
  // Moves an existing grant to the port whose data register is `port`, when it lies outside.
  void follow(uint16_t port);

  PortAccessPaths paths_;
  Diagnostics* diagnostics_;
  PortOpener opener_;
  bool attempted_ = false;
  bool refusedOnce_ = false;
  uint16_t refusedBase_ = 0;
  std::unique_ptr<PortIo> backend_;
  std::string backendName_;
  uint16_t grantedBase_ = 0;
  Forwarder io_{*this};
};

}  // namespace vexa::linux_platform
