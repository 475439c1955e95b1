#pragma once

#include <cstdint>

namespace vexa::sim {

// A device at the far end of a 16-bit SPI bus, seen frame by frame. The word a slave shifts out
// is fixed when its chip select asserts, so a pin-level master can sample it bit by bit.
class SpiSlave {
 public:
  virtual ~SpiSlave() = default;
  // Chip select asserted: returns the word shifted out during this frame, MSB first.
  virtual uint16_t frameStart() = 0;
  // Chip select released after `bitCount` clocks; `mosi` holds the bits clocked in, the first
  // one in the highest of the `bitCount` bits. A frame of other than 16 bits is malformed.
  virtual void frameEnd(uint16_t mosi, int bitCount) = 0;

  // One whole, well-formed frame.
  uint16_t exchange(uint16_t mosi) {
    uint16_t miso = frameStart();
    frameEnd(mosi, 16);
    return miso;
  }
};

}  // namespace vexa::sim
