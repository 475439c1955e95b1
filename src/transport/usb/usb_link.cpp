#include "transport/usb/usb_link.h"

#include <algorithm>

#include "transport/usb/usb_spi.h"

namespace vexa {

namespace {
constexpr size_t kWordsPerTransfer = 16;
}  // namespace

bool UsbCardLink::transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) {
  UsbState& usb = ctx_.usb;
  delivered_ = 0;
  for (size_t done = 0; done < count;) {
    if (usb.SelectedCard.Present == 0) {
      cause = "the USB card is not usable: select it again";
      return false;
    }
    const size_t words = std::min(kWordsPerTransfer, count - done);
    for (size_t i = 0; i < words; ++i) usb.TxWords[i + 1] = out[done + i];
    usb.CselChannel = 1;
    auto n = static_cast<uint8_t>(words);
    ++requests_;
    if (const char* failure = UsbTransferQuietly(ctx_, n)) {
      cause = failure;
      return false;
    }
    if (in != nullptr)
      for (size_t i = 0; i < words; ++i) in[done + i] = static_cast<uint16_t>(usb.RxWords[i + 1]);
    done += words;
    delivered_ = done;
  }
  return true;
}

}  // namespace vexa
