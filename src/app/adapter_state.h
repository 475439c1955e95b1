#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vexa {

class SpiLink;

// The SPI adapter in use when Interface names the FTDI board or spidev: the open link, and
// whether it still answers. A failed transfer clears Present and drops the link; from then on
// transfers send nothing and reads give the last reply, until the adapter is chosen again.
struct AdapterState {
  int16_t Present = 0;
  int16_t openInterface = 0;  // the Interface value the link belongs to
  std::shared_ptr<SpiLink> link;
  std::string description;  // "FT232H at 1-2, serial FT5VEXA1", "/dev/spidev0.0"
  uint16_t lastReply = 0;
};

}  // namespace vexa
