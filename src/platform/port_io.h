#pragma once

#include <cstdint>
#include <string>

namespace vexa {

// Byte access to I/O ports, one access at a time, in program order.
class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual void vbOut(uint16_t port, uint8_t value) = 0;
  virtual uint8_t vbInp(uint16_t port) = 0;
};

// Grants this process access to the parallel port at `base`. Returns false and a one-line cause
// with its fix when access cannot be had.
class PortAccess {
 public:
  virtual ~PortAccess() = default;
  virtual bool grant(uint16_t base, std::string& cause) = 0;
  // Whether access to the port at `base` is held now (a grant there succeeded and still holds).
  virtual bool holds(uint16_t base) const {
    (void)base;
    return false;
  }
};

}  // namespace vexa
