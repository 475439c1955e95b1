#include "registers/alarm_setup.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/number_format.h"

namespace vexa {
namespace {

class AlarmSetupTest : public ::testing::Test {
 protected:
  AlarmSetupTest() { BuildRegisterTable(table); }
  RegisterTable table;
  QLocale c{QLocale::C};
  QLocale german{QLocale::German, QLocale::Germany};
};

TEST_F(AlarmSetupTest, TypedLevelsBecomeMagnitudes) {
  struct Case {
    int source;
    const char* typed;
    const char* shown;
    int32_t magnitude;
  };
  const std::vector<Case> cases = {
      {XACCL_OUT, "25", "20.66", 6204},    // held to the limit, in general form
      {XGYRO_OUT, "-1", "-1", -20},        // 0x3FEC in 14 bits
      {TEMP_OUT, "25", "25", 0},           // the offset comes off first
      {0, "7", "0", 0},                    // "Disabled" accepts only 0
      {XGYRO_OUT, "abc", "0", 0},          // not a number
      {XGYRO_OUT, "inf", "0", 0},          // not a finite number
      {SUPPLY_OUT, "8", "7.49385", 3100},  // upper limit of the supply
      {SUPPLY_OUT, "-1", "0", 0},          // unsigned source: lower limit
      {TEMP_OUT, "297.4291", "297.4291", 2008},
      {XMAGN_OUT, "-4096", "-4096", -8192},  // the 14-bit field's lowest value
      {AUX_ADC, "1.25", "1.25", 1551},
      {15, "3", "0", 0},  // a code without a source writes "Disabled"
  };
  for (const Case& k : cases) {
    const AlarmTypedLevel t = AlarmMagnitudeFromText(table, k.source, k.typed, c);
    EXPECT_EQ(t.text, k.shown) << k.source << " " << k.typed;
    EXPECT_EQ(t.magnitude, k.magnitude) << k.source << " " << k.typed;
  }
  EXPECT_EQ(AlarmMagnitudeWord(-20, false), 0x3FEC);
  EXPECT_EQ(AlarmMagnitudeWord(100, true), 0x8064);
}

// A level typed at either limit of every source reads back with the sign that was typed and as
// near the typed level as the register can hold; the field shows that level when it differs.
TEST_F(AlarmSetupTest, EveryLimitReadsBackWithItsSign) {
  for (int source = 1; source < kAlarmSources; ++source) {
    const AlarmLimits limits = *AlarmLevelLimits(source);
    for (double typed : {limits.lowest, limits.highest}) {
      const AlarmTypedLevel t = AlarmMagnitudeFromText(table, source, GeneralNumber(typed, c), c);
      const AlarmLevelView back =
          AlarmLevelFromWord(table, source, AlarmMagnitudeWord(t.magnitude, true), c);
      const double level = std::stod(back.level);
      const double step = table.RegScale[source];
      EXPECT_EQ(back.magnitude, t.magnitude) << source << " " << typed;
      EXPECT_EQ(level - table.RegOffset[source] < 0, typed - table.RegOffset[source] < 0)
          << source << " " << typed;
      const AlarmMagnitudeRange range = AlarmMagnitudeRangeOf(table, source);
      const bool held = t.magnitude == range.lowest || t.magnitude == range.highest;
      if (!held) {
        EXPECT_NEAR(level, typed, step) << source << " " << typed;
      } else if (std::fabs(level - typed) > step) {
        EXPECT_EQ(t.text, back.level) << source;
      }
    }
  }
  // The two cases that used to wrap: 600 deg/sec and the temperature's lowest level.
  EXPECT_EQ(AlarmMagnitudeFromText(table, XGYRO_OUT, "600", c).magnitude, 8191);
  EXPECT_EQ(AlarmMagnitudeFromText(table, XGYRO_OUT, "600", c).text, "409.519");
  EXPECT_EQ(AlarmMagnitudeFromText(table, TEMP_OUT, "-297.574", c).magnitude, -2048);
}

TEST_F(AlarmSetupTest, LimitAndConversionReadTheSameRegionalForm) {
  EXPECT_EQ(AlarmMagnitudeFromText(table, XGYRO_OUT, "1,5", german).magnitude, 30);
  const AlarmTypedLevel limited = AlarmMagnitudeFromText(table, XACCL_OUT, "25", german);
  EXPECT_EQ(limited.text, "20,66");
  EXPECT_EQ(limited.magnitude, 6204);
  EXPECT_EQ(AlarmLevelFromWord(table, XACCL_OUT, 6204, german).level, "20,659");
}

TEST_F(AlarmSetupTest, MagnitudeWordsShowAsLevels) {
  struct Case {
    int source;
    int32_t word;
    int32_t magnitude;
    const char* level;
  };
  const std::vector<Case> cases = {
      {XGYRO_OUT, 0x8064, 100, "5.000"},  // polarity bit ignored
      {XGYRO_OUT, 0x3F9C, -100, "-5.000"},
      {XACCL_OUT, 6204, 6204, "20.659"},
      {TEMP_OUT, 0, 0, "25.000"},
      {TEMP_OUT, 0x3800, -2048, "-252.914"},  // 12-bit source: bit 11 is the sign
      {SUPPLY_OUT, 0x3FFF, 4095, "9.900"},    // unsigned 12 bits
      {0, 0x1234, 0x1234, "4660.000"},
      {13, 0xC064, 100, "100"},  // no source: the raw magnitude
      {-1, 0x0064, 100, "100"},
  };
  for (const Case& k : cases) {
    const AlarmLevelView v = AlarmLevelFromWord(table, k.source, k.word, c);
    EXPECT_EQ(v.magnitude, k.magnitude) << k.source << " " << k.word;
    EXPECT_EQ(v.level, k.level) << k.source << " " << k.word;
  }
}

TEST_F(AlarmSetupTest, ControlWordFields) {
  EXPECT_EQ(AlarmSourceCode(0x2105, 1), 1);
  EXPECT_EQ(AlarmSourceCode(0x2105, 2), 2);
  EXPECT_FALSE(AlarmRateOfChange(0x2105, 1));
  EXPECT_FALSE(AlarmRateOfChange(0x2105, 2));
  const AlarmIndicator i = AlarmIndicatorOf(0x2105);
  EXPECT_TRUE(i.lineOne);
  EXPECT_FALSE(i.high);
  EXPECT_TRUE(i.enabled);

  EXPECT_EQ(WithAlarmSources(0xFFFF, 3, 12), 0xC3FF);
  EXPECT_EQ(WithAlarmSources(0x00FF, 0, 0), 0x00FF);
  EXPECT_EQ(WithAlarmRateOfChange(0x0000, 1, true), 0x0040);
  EXPECT_EQ(WithAlarmRateOfChange(0xFFFF, 2, false), 0xFF7F);
  EXPECT_EQ(WithAlarmIndicator(0xFFFF, {false, true, false}), 0xFFFA);
  EXPECT_EQ(WithAlarmIndicator(0x0000, {true, false, true}), 0x0005);
}

TEST_F(AlarmSetupTest, AverageNumbers) {
  struct Case {
    const char* typed;
    const char* shown;
    int32_t value;
  };
  const std::vector<Case> cases = {{"300", "255", 255}, {"2.5", "2.5", 2}, {"3.5", "3.5", 4},
                                   {"-3", "0", 0},      {"x", "0", 0},     {"17", "17", 17}};
  for (const Case& k : cases) {
    const AlarmAverage a = AlarmAverageFromText(k.typed, c);
    EXPECT_EQ(a.text, k.shown) << k.typed;
    EXPECT_EQ(a.value, k.value) << k.typed;
  }
}

}  // namespace
}  // namespace vexa
