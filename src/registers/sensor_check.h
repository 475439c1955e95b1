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
  bool failed = false;    // the read itself failed: nothing was read, message names the cause
  std::string message;    // empty when known: what was read, the likely cause and the fix
};

// The check for a PROD_ID value already read over a link set to SPI mode `chosenMode` (-1 where
// the hardware fixes the mode): a mode other than the sensor's is named beside the causes.
SensorCheck CheckProductId(int32_t productId, int chosenMode = -1);
// Reads PROD_ID over the selected transport and checks it.
SensorCheck CheckSensorPresent(AppContext& ctx);
// The windows' form: reads PROD_ID and, when no known sensor answers, shows why in a warning
// that the user goes past. True when a known sensor answers.
bool WarnUnlessSensorPresent(AppContext& ctx);

}  // namespace vexa
