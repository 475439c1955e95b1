#pragma once

#include <cstdint>

#include "app/app_context.h"

namespace vexa {

// The card's command protocol: commands go out on pipe 0, replies come back on pipe 1. Every
// operation opens the selected card, does its transfers and closes it, and does nothing while
// the selected card is not usable. A transfer that moves fewer bytes than asked has failed, as
// one the driver reports failed: its message, and the card unusable.
void UsbReadSpiSetup(AppContext& ctx);
void UsbSetWordDelay(AppContext& ctx, uint8_t& delay);
void UsbSetStaticBits(AppContext& ctx, uint8_t& bits);
// Sends TxWords[1..count] on CselChannel and fills RxWords[1..count]. A count of 0 sends
// nothing; a count above 16 is refused and leaves WordCount as it was.
void UsbTransfer(AppContext& ctx, uint8_t& count);
// The same without the message: the card is marked unusable and the message's text returned
// ("Error Writing SPI", "Error Reading SPI"); null when the transfer went (or nothing was sent).
const char* UsbTransferQuietly(AppContext& ctx, uint8_t& count);

}  // namespace vexa
