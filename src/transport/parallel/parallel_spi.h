#pragma once

#include <cstddef>
#include <cstdint>

#include "app/app_context.h"

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

// The pin sequences themselves, whatever interface is selected (for the port's link): frames as
// PortExchangeFrames sends them, or as commands only (PortShiftOut's, no status read).
void PortFrames(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count);
void PortCommands(AppContext& ctx, const uint16_t* mosi, size_t count);

}  // namespace vexa
