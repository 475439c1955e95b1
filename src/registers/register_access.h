#pragma once

#include <cstdint>

#include "app/app_context.h"
#include "transport/selected_link.h"

namespace vexa {

// The only road to the sensor's registers. Reads leave their results in ctx.access (LastRaw,
// LastScaled, ...); rows without the access flag, or no interface selected, send nothing.
void ReadRegister(AppContext& ctx, int16_t index);
void WriteRegister(AppContext& ctx, int16_t index, int32_t value);
// What a read of a readable row does with the word received: masks, sign-extends and scales it
// into the Last* results. Shared with the pipelined reads so both decode alike.
void StoreReadResult(AppContext& ctx, int16_t index, int32_t word);

// One read command and its reply from the following frame; the address is left masked to 7 bits.
int32_t SpiReadWord(AppContext& ctx, int16_t& address);
// Two write commands; addresses are left masked to 7 bits and bytes to 8 bits.
void SpiWriteFrames(AppContext& ctx, int16_t& address1, int16_t& byte1, int16_t& address2,
                    int16_t& byte2);

// The same operations returning what became of them. A read that succeeded leaves ctx.access as
// ReadRegister does; a failed one leaves ctx.access as it was and names the cause, so no word a
// failed transfer left behind is ever taken for a value. A row without the access flag is an
// error naming the row.
LinkOutcome TryReadRegister(AppContext& ctx, int16_t index);
LinkOutcome TryWriteRegister(AppContext& ctx, int16_t index, int32_t value);
LinkOutcome TrySpiWriteFrames(AppContext& ctx, int16_t& address1, int16_t& byte1, int16_t& address2,
                              int16_t& byte2);

// Refreshes GpioCtrlShadow, AlmCtrlShadow and MscCtrlShadow from the sensor.
void ReadControlShadows(AppContext& ctx);

}  // namespace vexa
