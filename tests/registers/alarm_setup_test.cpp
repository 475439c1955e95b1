#include "registers/alarm_setup.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/number_format.h"
#include "support/sim_world.h"

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
  // A point is a decimal point in every region.
  EXPECT_EQ(AlarmMagnitudeFromText(table, XGYRO_OUT, "1.5", german).magnitude, 30);
  EXPECT_EQ(AlarmMagnitudeFromText(table, XGYRO_OUT, "1,5", german).magnitude, 30);
  const AlarmTypedLevel limited = AlarmMagnitudeFromText(table, XACCL_OUT, "25", german);
  EXPECT_EQ(limited.text, "20,66");
  EXPECT_EQ(limited.magnitude, 6204);
  EXPECT_EQ(AlarmLevelFromWord(table, XACCL_OUT, 6204, german).level, "20,659");
}

// At a gyro range of 0 the gyros' scale is 0: no level has a magnitude (x / 0 would write full
// scale, 0 / 0 is no number at all), so the level is refused and says why.
TEST_F(AlarmSetupTest, ALevelOnASourceOfScaleZeroIsRefusedWithAMessage) {
  table.RegScale[XGYRO_OUT] = 0;
  for (const char* typed : {"10", "0", "-3"}) {
    const AlarmTypedLevel level = AlarmMagnitudeFromText(table, XGYRO_OUT, typed, c);
    EXPECT_NE(level.refusal.find("gyro range"), std::string::npos) << typed;
    EXPECT_EQ(level.magnitude, 0) << typed;
  }
  testing::SimWorld w;
  w.ctx.registers = table;
  std::array<AlarmEntry, 2> entries{{{XGYRO_OUT, "10", true}, {XACCL_OUT, "1", true}}};
  WriteAlarmMagnitudes(w.ctx, entries);
  ASSERT_EQ(w.messages.texts().size(), 1u);
  EXPECT_EQ(w.messages.texts()[0].rfind("Alarm 1: The scale of XGYRO_OUT is 0", 0), 0u)
      << w.messages.texts()[0];
}

}  // namespace
}  // namespace vexa
