#include "transport/usb/usb_card_text.h"

#include "app/number_format.h"

namespace vexa {

std::string FirmwareRevText(const UsbCardInfo& card) {
  return FormatPattern(card.FirmwareRev, "0.0");
}

std::string UsbSpeedText(const UsbCardInfo& card) {
  return FormatPattern(Val(card.UsbSpeed), "0.0");
}

}  // namespace vexa
