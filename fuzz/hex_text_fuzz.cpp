// libFuzzer target: the hexadecimal text helpers on any bytes. At most four characters count,
// so every result fits 16 bits, and only the last four characters decide it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/hex_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int32_t value = vexa::HexToLong(text);
  if (value < 0 || value > 0xFFFF) std::abort();
  const int16_t folded = vexa::HexToInteger(text);
  if (folded != static_cast<int16_t>(value > 32767 ? value - 65536 : value)) std::abort();
  // Text in front of a complete four-character tail does not change the value.
  if (size >= 4 && vexa::HexToLong("ZZ" + text) != value) std::abort();
  // Formatting and parsing again gives the same 16 bits.
  const std::string shown = vexa::HexText(value);
  if (shown.size() != 6 || vexa::HexToLong(shown) != value) std::abort();
  return 0;
}
