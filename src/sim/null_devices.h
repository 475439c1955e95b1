#pragma once

#include "platform/port_io.h"
#include "platform/usb_driver.h"

namespace vexa::sim {

// A port with nothing attached: writes vanish, reads see every line pulled high.
class NullPortIo : public PortIo {
 public:
  void vbOut(uint16_t, uint8_t) override {}
  uint8_t vbInp(uint16_t) override { return 0xFF; }
};

// Port access that is always granted, or always refused with a given cause.
class FixedPortAccess : public PortAccess {
 public:
  bool grant(uint16_t base, std::string& cause) override {
    ++grants;
    held = allow;
    heldBase = base;
    if (!allow) cause = refusal;
    return allow;
  }
  bool holds(uint16_t base) const override { return held && heldBase == base; }
  bool allow = true;
  bool held = false;
  uint16_t heldBase = 0;
  std::string refusal = "port access refused";
  int grants = 0;
};

// A machine with no USB cards.
class NullUsbDriver : public UsbDriver {
 public:
  UsbHandle open(const std::string&) override { return 0; }
  bool request(UsbHandle, uint32_t, const uint8_t*, size_t, uint8_t*, size_t,
               uint32_t& returned) override {
    returned = 0;
    return false;
  }
  void close(UsbHandle) override {}
};

}  // namespace vexa::sim
