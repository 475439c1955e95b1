#pragma once

#include <cstdint>
#include <vector>

namespace vexa::datalog {

// One output register as one sample read it: the values ReadRegister leaves in LastNewData,
// LastRaw and LastScaled.
struct ChannelReading {
  int32_t newData = 0;  // 32768 when bit 15 of the word read was set, else 0
  int32_t raw = 0;      // masked, sign-extended where the register is two's complement
  float scaled = 0;     // raw * RegScale + RegOffset
};

// One sample: a reading per selected channel, in channel order.
using SampleValues = std::vector<ChannelReading>;

// Register indices of the selected channels (SUPPLY_OUT .. AUX_ADC), in register-table order.
using ChannelList = std::vector<int16_t>;

}  // namespace vexa::datalog
