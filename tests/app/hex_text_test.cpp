#include "app/hex_text.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

TEST(HexToLong, NonDigitsCountAsZeroDigitsInTheirPosition) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"", 0},         {"1F", 31},         {"ff", 255},       {"FF", 255},
      {"0x12", 18},    {"1 2", 258},       {"G", 0},          {"-1", 1},
      {"FFFF", 65535}, {"0x1234", 0x1234}, {"12345", 0x2345}, {"ABCDEFFFFF", 0xFFFF},
  };
  for (const auto& c : cases) EXPECT_EQ(HexToLong(c.text), c.value) << '"' << c.text << '"';
}

TEST(HexToInteger, FoldsIntoSixteenBitsSigned) {
  struct Case {
    const char* text;
    int16_t value;
  } cases[] = {{"FFFF", -1}, {"8000", -32768}, {"378", 888}, {"7FFF", 32767}, {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(HexToInteger(c.text), c.value) << c.text;
}

TEST(HexText, AlwaysSixCharactersOfTheLowSixteenBits) {
  struct Case {
    int32_t value;
    const char* text;
  } cases[] = {{10, "0x000A"}, {44000, "0xABE0"}, {-2, "0xFFFE"},  {70000, "0x1170"},
               {0, "0x0000"},  {-3001, "0xF447"}, {-100, "0xFF9C"}};
  for (const auto& c : cases) EXPECT_EQ(HexText(c.value), c.text) << c.value;
  EXPECT_EQ(HexDigits(888), "378");
  EXPECT_EQ(HexDigits(0), "0");
}

}  // namespace
}  // namespace vexa
