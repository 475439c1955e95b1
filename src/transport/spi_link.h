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
  // then not to be used. `in` may be null when no reply is wanted (writes).
  virtual bool transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) = 0;
  // After a failed transfer: how many leading frames had brought their replies into `in` before
  // it failed (a link that moves frames in several requests can lose only the later ones).
  virtual size_t framesDelivered() const { return 0; }
  // Host requests (USB transfers or ioctls) made so far.
  virtual uint64_t requests() const = 0;
  // The SPI mode the link is set to clock in (CPOL in bit 1, CPHA in bit 0), or -1 where the
  // hardware fixes it to the sensor's.
  virtual int spiMode() const { return -1; }
  // The frame that carries a single read's reply after its command: the command again (the
  // card's and the adapters' single reads), or all zeros (the port's).
  virtual uint16_t replyFrameAfter(uint16_t command) const { return command; }
};

}  // namespace vexa
