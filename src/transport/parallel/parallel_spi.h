#pragma once

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
// Puts the port lines at rest.
void PortReset(AppContext& ctx);

}  // namespace vexa
