#include "registers/sensor_check.h"

#include <cstdio>

#include "registers/data_ready_wait.h"
#include "registers/register_access.h"
#include "registers/register_table.h"
#include "transport/selected_link.h"

namespace vexa {

namespace {

constexpr int32_t kKnownProducts[] = {27150, 27100};
// The sensor's SPI mode, fixed by the device: the clock idles high, data is taken on the rising
// edge.
constexpr int kSensorSpiMode = 3;

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

SensorCheck CheckProductId(int32_t productId, int chosenMode) {
  SensorCheck c;
  c.productId = productId & 0xFFFF;
  for (int32_t known : kKnownProducts)
    if (c.productId == known) c.known = true;
  if (c.known) return c;
  const std::string read = "PROD_ID reads " + hex4(c.productId) + " (" +
                           std::to_string(c.productId) + "), not a known sensor (27150 or 27100): ";
  const bool otherMode = chosenMode >= 0 && chosenMode != kSensorSpiMode;
  const std::string modeText = "SPI mode " + std::to_string(chosenMode) +
                               " is chosen and the sensor uses mode " +
                               std::to_string(kSensorSpiMode);
  if (c.productId == 0xFFFF) {
    // Nothing drives MISO: the line floats high, whatever the mode.
    c.message = read + "nothing answers on the bus. Check the wiring and the sensor's power.";
  } else if (c.productId == 0) {
    // A sensor clocked in another mode discards the frames or takes other commands than those
    // sent, and then answers zeros, as a line held low does.
    c.message =
        read + "nothing answers on the bus. Check the wiring and the sensor's power" +
        (otherMode
             ? "; or the sensor does not take frames in the chosen SPI mode: " + modeText + "."
             : ", or an SPI mode the sensor does not use (it uses mode 3).");
  } else if (shiftedByOneBit(c.productId)) {
    c.message = read +
                "a known product shifted by one bit. Check the SPI mode (the sensor "
                "uses mode 3)." +
                (otherMode ? " " + modeText + "." : "");
  } else {
    c.message = read + "check the wiring, the sensor's power and the SPI mode." +
                (otherMode ? " " + modeText + "." : "");
  }
  return c;
}

SensorCheck CheckSensorPresent(AppContext& ctx) {
  const LinkOutcome r = TryReadRegister(ctx, PROD_ID);
  if (!r.ok) {
    SensorCheck c;
    c.failed = true;
    c.message = r.cause;
    return c;
  }
  return CheckProductId(ctx.access.LastRaw, LinkSpiMode(ctx));
}

bool WarnUnlessSensorPresent(AppContext& ctx) {
  const SensorCheck c = CheckSensorPresent(ctx);
  // A transfer that failed has said so; the word it left behind is no product to judge.
  if (TransportLost(ctx)) return false;
  if (!c.known) ctx.messages().show(kApplicationTitle, c.message, MessageIcon::Warning);
  return c.known;
}

}  // namespace vexa
