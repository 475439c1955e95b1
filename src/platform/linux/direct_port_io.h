#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/port_io.h"

namespace vexa::linux_platform {

// The parallel port through direct I/O instructions, for machines without the ppdev driver.
// Needs the I/O permission that ioperm() grants (root, or CAP_SYS_RAWIO), and exists only on
// x86 machines.
class DirectPortIo : public PortIo {
 public:
  // Asks for access to the port's three registers at `base`. On failure returns nullptr and a
  // one-line cause with its fix.
  static std::unique_ptr<DirectPortIo> open(uint16_t base, std::string& cause);
  ~DirectPortIo() override;

  void vbOut(uint16_t port, uint8_t value) override;
  uint8_t vbInp(uint16_t port) override;

 private:
  explicit DirectPortIo(uint16_t base) : base_(base) {}
  bool owns(uint16_t port) const { return port >= base_ && port < base_ + kSpan; }

  static constexpr uint16_t kSpan = 3;
  uint16_t base_;
};

}  // namespace vexa::linux_platform
