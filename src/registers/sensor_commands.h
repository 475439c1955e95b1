#pragma once

#include <cstdint>

namespace vexa {

// Values written to COMMAND. Each is a single bit; commands are never combined in one write,
// and the sensor is never asked whether it carried one out.
constexpr int32_t kCommandAutoNull = 1;            // then wait 250 ms and reread the offsets
constexpr int32_t kCommandFactoryRestore = 2;      // then wait 250 ms and reread the offsets
constexpr int32_t kCommandAuxDacUpdate = 4;        // right after each AUX_DAC write; wait 100 ms
constexpr int32_t kCommandFlashUpdate = 8;         // store the settings in the sensor's flash
constexpr int32_t kCommandPrecisionAutoNull = 16;  // then 33 passes of 1000 ms

}  // namespace vexa

#include <functional>

#include "app/app_context.h"

namespace vexa {

// Passes of 1000 ms the precision auto null takes in the sensor.
constexpr int kPrecisionAutoNullPasses = 33;

// What the calibration window waits after writing each command to COMMAND before it reads the
// offsets again: auto null and factory restore 250 ms, flash update 200 ms, the precision auto
// null kPrecisionAutoNullPasses x 1000 ms; other values not at all.
double SensorCommandWaitMs(int32_t command);

// Writes `command` to COMMAND and waits its time through DelayMs. `pass`, when given, is called
// after each 1000 ms pass of a precision auto null with the passes left.
void RunSensorCommand(AppContext& ctx, int32_t command,
                      const std::function<void(int passesLeft)>& pass = {});

}  // namespace vexa
