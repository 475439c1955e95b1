#pragma once

#include <cstddef>
#include <cstdint>

#include "app/app_context.h"
#include "transport/spi_link.h"

namespace vexa {

// SPI bit-banged on a PC parallel port. Data bit 0 frames, bit 1 clocks, bit 2 carries the
// complemented data out; status bit 6 brings the complemented data in. All three do nothing
// (and PortReadWord returns 0) unless the parallel interface is selected.

// Sends bits 15..0 of `word` as one frame.
void PortShiftOut(AppContext& ctx, int32_t& word);
// Sends the read command for `address` (left masked to 7 bits) and clocks in the reply.
int32_t PortReadWord(AppContext& ctx, int16_t& address);
// Sends `count` frames back to back and clocks in the word that comes back during each, for
// pipelined reads. Each frame has the pin sequence and closing pause of the single operations:
// the first as PortShiftOut's frame (its reply answers a command sent before the list and is
// left 0), a later frame of 0 as PortReadWord's reply frame (data line held, status read on each
// clock), any other as PortShiftOut's frame with the status read after each rising clock.
void PortExchangeFrames(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count);
// Puts the port lines at rest.
void PortReset(AppContext& ctx);

// The port as a link, on ctx's port address. It cannot fail: the port has no way to say that
// nothing is wired to it. With `in` null the frames go out as commands only (writes), with no
// status read; otherwise as PortExchangeFrames sends them.
class ParallelPortLink : public SpiLink {
 public:
  explicit ParallelPortLink(AppContext& ctx) : ctx_(ctx) {}
  bool transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) override;
  uint64_t requests() const override { return requests_; }
  // A read's reply comes in a frame of zeros, which leaves the data line held.
  uint16_t replyFrameAfter(uint16_t) const override { return 0; }

 private:
  AppContext& ctx_;
  uint64_t requests_ = 0;
};

}  // namespace vexa
