// Number and hexadecimal text that is legal to type but must not reach a conversion as
// something undefined: non-finite values, numbers beyond every range, characters of more than
// one byte.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/delay.h"
#include "app/hex_text.h"
#include "app/number_format.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

const QLocale kPoint(QLocale::English, QLocale::UnitedStates);

TEST(NumberSafety, NonFiniteAndOverflowingTextIsNoNumber) {
  for (const char* text : {"nan", "NaN", "inf", "-inf", "+inf", "infinity", "1e999", "-1e999"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(IsNumeric(text, kPoint));
    EXPECT_EQ(RegionalValue(text, kPoint), 0.0);
    EXPECT_EQ(Val(text), 0.0);
  }
  EXPECT_TRUE(IsNumeric("1e308", kPoint));
  EXPECT_EQ(Val("1e308"), 1e308);
}

TEST(NumberSafety, FloatToIntegerSaturates) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double value;
    int32_t to32;
    int64_t to64;
  } cases[] = {
      {0.0, 0, 0},
      {-2.9, -2, -2},
      {2147483647.9, INT32_MAX, 2147483647},
      {-2147483649.0, INT32_MIN, -2147483649LL},
      {1e30, INT32_MAX, INT64_MAX},
      {-1e30, INT32_MIN, INT64_MIN},
      {inf, INT32_MAX, INT64_MAX},
      {-inf, INT32_MIN, INT64_MIN},
      {nan, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SaturatingInt32(c.value), c.to32) << c.value;
    EXPECT_EQ(SaturatingInt64(c.value), c.to64) << c.value;
  }
}

TEST(NumberSafety, DelayOfNotANumberDoesNotWait) {
  testing::SimWorld w(1e-5);
  float ms = std::numeric_limits<float>::quiet_NaN();
  DelayMs(w.ctx, ms);
  EXPECT_EQ(w.busy.totalPasses(), 0);
}

TEST(NumberSafety, HexPositionsCountCharactersNotBytes) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"1\xC3\xA9", 0x10},  // 1 and e-acute
      {"\xC3\xA9"
       "1",
       0x1},  // e-acute and 1
      {"12\xE2\x82\xAC"
       "3",
       0x1203},  // a euro sign in third place
      {"\xF0\x9F\x98\x80"
       "FFF",
       0xFFF},          // a four-byte character
      {"1\xA9", 0x10},  // a stray continuation byte is a character of its own
      {"1\xC3", 0x10},  // a lead byte cut off at the end
  };
  for (const auto& c : cases) EXPECT_EQ(HexToLong(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace vexa
