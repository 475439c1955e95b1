#include "transport/usb/usb_debug.h"

#include "app/number_format.h"

namespace vexa {

std::optional<uint8_t> DebugWordCount(const std::string& text, uint8_t current,
                                      const QLocale& locale) {
  int count = current;
  if (!text.empty()) {
    const double n = RoundHalfEven(RegionalValue(text, locale));
    if (!(n >= 0 && n <= 255)) return std::nullopt;
    count = static_cast<int>(n);
  }
  if (count == 0) count = 1;
  if (count > 16) count = 16;
  return static_cast<uint8_t>(count);
}

uint8_t DebugWordDelay(const std::string& text, const QLocale& locale) {
  const double n = RoundHalfEven(RegionalValue(text, locale));
  if (!(n >= 1)) return 1;
  if (n > 255) return 255;
  return static_cast<uint8_t>(n);
}

uint8_t StaticBitsFromBoxes(const std::array<bool, 4>& cs2to5) {
  uint8_t bits = 0;
  for (size_t i = 0; i < cs2to5.size(); ++i)
    if (cs2to5[i]) bits = static_cast<uint8_t>(bits | (8u << i));
  return bits;
}

std::array<bool, 4> StaticBitsBoxes(uint8_t bits) {
  std::array<bool, 4> boxes{};
  for (size_t i = 0; i < boxes.size(); ++i) boxes[i] = (bits & (8u << i)) != 0;
  return boxes;
}

}  // namespace vexa
