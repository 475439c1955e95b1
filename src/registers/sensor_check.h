#pragma once

#include <cstdint>
#include <string>

#include "app/app_context.h"

namespace vexa {

// Whether a known sensor answers on the selected transport. Nothing on a bus reads as a
// plausible sensor otherwise: an open chip select gives all ones or all zeros, which scale to
// believable supply and temperature values, and a wrong SPI mode gives every word shifted by
// one bit.
struct SensorCheck {
  int32_t productId = 0;  // PROD_ID as read
  bool known = false;     // 27150 or 27100
  std::string message;    // empty when known: what was read, the likely cause and the fix
};

// The check for a PROD_ID value already read.
SensorCheck CheckProductId(int32_t productId);
// Reads PROD_ID over the selected transport and checks it.
SensorCheck CheckSensorPresent(AppContext& ctx);
// The windows' form: reads PROD_ID and, when no known sensor answers, shows why in a warning
// that the user goes past. True when a known sensor answers.
bool WarnUnlessSensorPresent(AppContext& ctx);

}  // namespace vexa
