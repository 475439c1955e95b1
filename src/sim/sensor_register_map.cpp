#include "sim/sensor_register_map.h"

#include <algorithm>

namespace vexa::sim {

SensorRegisterMap::SensorRegisterMap(const RegisterTable& table) {
  read_.fill(-1);
  for (int16_t i = 0; i <= LastRegisterIndex; ++i) {
    const int width = table.ReadLen[i];
    widths_[i] = static_cast<int16_t>(width);
    masks_[i] = static_cast<uint16_t>(width >= 16 ? 0xFFFF : (1u << width) - 1u);
    signed_[i] = table.TwosCompl[i] != 0;
    const int address = table.BaseAddr[i] & 0x7F;
    if (table.ReadFlag[i]) read_[address] = i;
    if (table.WriteFlag[i]) {
      const int bytes = std::max<int>(table.NumBytes[i], (width + 7) / 8);
      for (int b = 0; b < bytes && address + b < kAddresses; ++b) {
        write_[address + b] = {i, b == 1};
      }
    }
  }
}

int32_t SensorRegisterMap::decode(int16_t index, uint16_t bits) const {
  const uint16_t m = masks_[index];
  const int32_t v = bits & m;
  if (!signed_[index]) return v;
  const int32_t sign = (m >> 1) + 1;
  return (v & (sign - 1)) - (v & sign);
}

uint16_t SensorRegisterMap::encode(int16_t index, int32_t value) const {
  const uint16_t m = masks_[index];
  if (signed_[index]) {
    const int32_t half = (m >> 1) + 1;
    value = std::clamp(value, -half, half - 1);
    return static_cast<uint16_t>(value) & m;
  }
  return static_cast<uint16_t>(std::clamp<int32_t>(value, 0, m));
}

}  // namespace vexa::sim
