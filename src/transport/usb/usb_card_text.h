#pragma once

#include <string>

#include "app/app_state.h"

namespace vexa {

// A found card's firmware revision and USB speed as the card windows show them ("3.7", "2.0").
std::string FirmwareRevText(const UsbCardInfo& card);
std::string UsbSpeedText(const UsbCardInfo& card);

}  // namespace vexa
