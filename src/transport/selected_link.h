#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/app_context.h"

namespace vexa {

// The link of the selected interface: the one place below the windows that looks at
// ctx.settings.Interface. The parallel port and the USB card are opened here for each exchange
// (they hold no state of their own beyond ctx); the FTDI and spidev adapters are the ones
// OpenAdapter opened for that interface.

struct LinkOutcome {
  bool ok = false;
  std::string cause;     // what failed, when not ok
  size_t delivered = 0;  // when not ok: leading frames whose replies had come before the failure
};

// Whether an interface is selected at all.
bool LinkSelected(const AppContext& ctx);
// Whether the selected interface has a link that can move frames now: false with none
// selected, a card marked unusable, or an adapter closed or opened for another interface.
bool LinkUsable(const AppContext& ctx);
// A link was selected and is no longer usable (the card failed, the adapter closed).
bool LinkLost(const AppContext& ctx);
// The SPI mode the selected link clocks in, or -1 where the hardware fixes it.
int LinkSpiMode(const AppContext& ctx);

// Sends `count` frames, each in its own chip-select cycle, and puts the word clocked in during
// frame i into in[i] (in may be null for writes). On failure nothing of `in` is to be used: the
// message naming the cause is shown once, the link is left unusable, and the cause returned. A
// link already unusable moves nothing and shows nothing.
LinkOutcome LinkExchange(AppContext& ctx, const uint16_t* out, uint16_t* in, size_t count);

// A single read: the command, then the frame that brings its reply (the command again, or zeros
// on the port). The reply, or the cause.
struct LinkWord {
  bool ok = false;
  uint16_t word = 0;
  std::string cause;
};
LinkWord LinkReadWord(AppContext& ctx, uint16_t command);

}  // namespace vexa
