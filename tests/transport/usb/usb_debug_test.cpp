#include "transport/usb/usb_debug.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

TEST(UsbDebugFields, WordCountsAreRefusedOutsideAByteAndHeldToSixteen) {
  const QLocale c(QLocale::C);
  struct Case {
    const char* typed;
    int expected;  // -1: refused
  };
  const std::vector<Case> cases = {{"40", 16},    {"0", 1},    {"3", 3},    {"2.5", 2},
                                   {"abc", 1},    {"255", 16}, {"256", -1}, {"-1", -1},
                                   {"255.5", -1}, {"1e9", -1}, {"nan", 1}};  // nan: no number, like
                                                                             // "abc"
  for (const Case& k : cases) {
    const auto count = DebugWordCount(k.typed, 5, c);
    EXPECT_EQ(count ? int{*count} : -1, k.expected) << k.typed;
  }
  EXPECT_EQ(DebugWordCount("", 5, c), 5);  // empty: the count before
}

TEST(UsbDebugFields, WordDelaysAndStaticBits) {
  const QLocale c(QLocale::C);
  EXPECT_EQ(DebugWordDelay("300", c), 255);
  EXPECT_EQ(DebugWordDelay("0.4", c), 1);
  EXPECT_EQ(DebugWordDelay("2.5", c), 2);
  EXPECT_EQ(DebugWordDelay("x", c), 1);
  EXPECT_EQ(DebugWordDelay("25", c), 25);

  EXPECT_EQ(StaticBitsBoxes(0x30), (std::array<bool, 4>{false, true, true, false}));
  EXPECT_EQ(StaticBitsFromBoxes({true, false, false, true}), 0x48);
}

}  // namespace
}  // namespace vexa
