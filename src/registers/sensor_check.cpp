#include "registers/sensor_check.h"

#include <cstdio>

#include "registers/data_ready_wait.h"
#include "registers/register_access.h"
#include "registers/register_table.h"

namespace vexa {

namespace {

constexpr int32_t kKnownProducts[] = {27150, 27100};

std::string hex4(int32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value & 0xFFFF));
  return text;
}

// A known product clocked in one bit early or late: the SPI mode samples on the wrong edge.
bool shiftedByOneBit(int32_t value) {
  for (int32_t known : kKnownProducts)
    if (value == ((known << 1) & 0xFFFF) || value == (known >> 1)) return true;
  return false;
}

}  // namespace

SensorCheck CheckProductId(int32_t productId) {
  SensorCheck c;
  c.productId = productId & 0xFFFF;
  for (int32_t known : kKnownProducts)
    if (c.productId == known) c.known = true;
  if (c.known) return c;
  const std::string read = "PROD_ID reads " + hex4(c.productId) + " (" +
                           std::to_string(c.productId) + "), not a known sensor (27150 or 27100): ";
  if (c.productId == 0xFFFF || c.productId == 0)
    c.message = read + "nothing answers on the bus. Check the wiring and the sensor's power.";
  else if (shiftedByOneBit(c.productId))
    c.message = read +
                "a known product shifted by one bit. Check the SPI mode (the sensor "
                "uses mode 3).";
  else
    c.message = read + "check the wiring, the sensor's power and the SPI mode.";
  return c;
}

SensorCheck CheckSensorPresent(AppContext& ctx) {
  ReadRegister(ctx, PROD_ID);
  return CheckProductId(ctx.access.LastRaw);
}

bool WarnUnlessSensorPresent(AppContext& ctx) {
  const SensorCheck c = CheckSensorPresent(ctx);
  // A transfer that failed has said so; the word it left behind is no product to judge.
  if (TransportLost(ctx)) return false;
  if (!c.known) ctx.messages().show(kApplicationTitle, c.message, MessageIcon::Warning);
  return c.known;
}

}  // namespace vexa
