#include "registers/sensor_commands.h"

#include "app/delay.h"
#include "registers/register_access.h"

namespace vexa {

double SensorCommandWaitMs(int32_t command) {
  switch (command) {
    case kCommandAutoNull:
    case kCommandFactoryRestore:
      return 250;
    case kCommandFlashUpdate:
      return 200;
    case kCommandPrecisionAutoNull:
      return kPrecisionAutoNullPasses * 1000.0;
    default:
      return 0;
  }
}

void RunSensorCommand(AppContext& ctx, int32_t command,
                      const std::function<void(int passesLeft)>& pass) {
  WriteRegister(ctx, COMMAND, command);
  if (command != kCommandPrecisionAutoNull) {
    const double ms = SensorCommandWaitMs(command);
    if (ms > 0) DelayMs(ctx, static_cast<float>(ms));
    return;
  }
  for (int n = 0; n < kPrecisionAutoNullPasses; ++n) {
    DelayMs(ctx, 1000);
    if (pass) pass(kPrecisionAutoNullPasses - 1 - n);
  }
}

}  // namespace vexa
