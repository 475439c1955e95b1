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
