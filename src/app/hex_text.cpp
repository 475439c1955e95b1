#include "app/hex_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vexa {

namespace {
int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// Bytes in the UTF-8 character that starts with `lead`: a stray continuation byte or an
// invalid lead counts as a character of its own.
size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xC0 && lead < 0xE0) return 2;
  if (lead >= 0xE0 && lead < 0xF0) return 3;
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  return 1;
}

bool isContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}
}  // namespace

int32_t HexToLong(const std::string& text) {
  // Positions are characters, not bytes: "1é" is a 1 and a zero digit, 0x10.
  std::array<int, 4> last{};  // digit values of the last four characters, oldest first
  size_t count = 0;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    const size_t wanted = sequenceLength(lead);
    while (length < wanted && i + length < text.size() &&
           isContinuation(static_cast<unsigned char>(text[i + length])))
      ++length;
    const int digit = length == 1 ? digitValue(text[i]) : 0;
    std::rotate(last.begin(), last.begin() + 1, last.end());
    last[3] = digit;
    ++count;
    i += length;
  }
  int32_t value = 0;
  for (size_t k = count >= 4 ? 0 : 4 - count; k < 4; ++k) value = value * 16 + last[k];
  return value;
}

int16_t HexToInteger(const std::string& text) {
  int32_t value = HexToLong(text);
  if (value > 32767) value -= 65536;
  return static_cast<int16_t>(value);
}

std::string HexText(int32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value) & 0xFFFFu);
  return text;
}

std::string HexDigits(int32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value) & 0xFFFFu);
  return text;
}

}  // namespace vexa
