#pragma once

#include <cstdint>
#include <vector>

namespace vexa::testing {

// The data-register writes one bit-banged frame of `word` must produce: open, four per bit
// (clock high with data rest, data, clock low, rest), close.
inline std::vector<uint8_t> ExpectedFrameWrites(uint16_t word) {
  std::vector<uint8_t> w = {4, 5};
  for (int n = 15; n >= 0; --n) {
    const uint8_t d = (word >> n) & 1 ? 0 : 4;
    w.insert(w.end(), {7, static_cast<uint8_t>(d + 3), static_cast<uint8_t>(d + 1), 5});
  }
  w.push_back(0);
  return w;
}

}  // namespace vexa::testing
