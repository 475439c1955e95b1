#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/port_io.h"

namespace vexa::linux_platform {

// Where the kernel describes its parallel ports, one folder per port ("parport0", ...).
constexpr const char* kProcParportDir = "/proc/sys/dev/parport";
constexpr const char* kDevDir = "/dev";

// The kernel's name of the port whose data register is at `base` ("parport0"), read from
// `<procDir>/<name>/base-addr` (first number on the line, decimal). Empty when none matches.
std::string FindParportByAddress(const std::string& procDir, uint16_t base);
// The device that holds the port now, from `<procDir>/<name>/devices/active`: "none" when the
// port is free, empty when it cannot be told.
std::string ActivePortHolder(const std::string& procDir, const std::string& name);

// The parallel port through the ppdev driver. The data register is written with PPWDATA and
// read with PPRDATA, the status register read with PPRSTATUS, the control register written and
// read with PPWCONTROL / PPRCONTROL. Addresses are taken relative to `base`; the status register
// has no latch, so writes to it change nothing, and addresses beyond the port read 0xFF.
class PpdevPortIo : public PortIo {
 public:
  PpdevPortIo(int fd, uint16_t base) : fd_(fd), base_(base) {}
  ~PpdevPortIo() override;
  PpdevPortIo(const PpdevPortIo&) = delete;
  PpdevPortIo& operator=(const PpdevPortIo&) = delete;

  // Opens and claims `device` ("/dev/parport0"). On failure returns nullptr and a one-line
  // cause with its fix.
  static std::unique_ptr<PpdevPortIo> open(const std::string& device, uint16_t base,
                                           std::string& cause);

  void vbOut(uint16_t port, uint8_t value) override;
  uint8_t vbInp(uint16_t port) override;
  uint16_t base() const { return base_; }

 private:
  int fd_;
  uint16_t base_;
};

// One-line causes of failed port access, each with the fix.
std::string CauseNoPortAt(uint16_t base, const std::string& procDir);
std::string CauseOpenFailed(const std::string& device, int error);
std::string CauseClaimedBy(const std::string& name, const std::string& holder);
std::string CauseClaimFailed(const std::string& device, int error);
std::string CauseDirectIoFailed(uint16_t base, int error);

}  // namespace vexa::linux_platform
