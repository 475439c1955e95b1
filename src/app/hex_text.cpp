#include "app/hex_text.h"

#include <cstdio>

namespace vexa {

namespace {
int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}
}  // namespace

int32_t HexToLong(const std::string& text) {
  const size_t n = text.size();
  const size_t first = n > 4 ? n - 4 : 0;
  int32_t value = 0;
  for (size_t i = first; i < n; ++i) value = value * 16 + digitValue(text[i]);
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
