#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexa {

// An open SPI adapter that moves 16-bit frames: each word goes out MSB first in its own
// chip-select cycle, followed by the adapter's pause, and the word clocked in meanwhile comes
// back at the same position. Several frames may go in one call; a reply belongs to the frame
// after its command, so a caller can pipeline reads.
class SpiLink {
 public:
  virtual ~SpiLink() = default;
  // False with a cause line (what happened and what to do) when the adapter failed; `in` is
  // then unchanged.
  virtual bool transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) = 0;
  // Host requests (USB transfers or ioctls) made so far.
  virtual uint64_t requests() const = 0;
};

}  // namespace vexa
