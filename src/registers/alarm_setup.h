#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <QLocale>

#include "app/app_context.h"

namespace vexa {

// The sensor's two alarms as the alarms window edits them.
//
// ALM_MAGn: bits 0-13 the trigger magnitude in the raw units of the alarm's source register,
// bit 15 the polarity (1 "Greater than"). ALM_SMPLn: bits 0-7 the "Average Number".
// ALM_CTRL: bit 0 indicator line (DI/O1), bit 1 indicator polarity (High), bit 2 indicator
// enabled, bits 6 and 7 rate of change of alarms 1 and 2, bits 8-11 and 12-15 their sources.
//
// A source code is at once the position in the source lists and the register row whose width,
// sign, scale and offset convert the magnitude (0 "Disabled" converts through ENDURANCE).

constexpr int kAlarmSources = 13;  // codes 0..12; 13..15 name no source
constexpr int32_t kAlarmMagnitudeBits = 0x3FFF;
constexpr int32_t kAlarmGreaterThan = 0x8000;

// The source lists' entries, by code.
extern const std::array<const char*, kAlarmSources> kAlarmSourceNames;

struct AlarmLimits {
  double lowest;
  double highest;
};
// The levels a source accepts, in its physical units; none for codes outside 0..12.
std::optional<AlarmLimits> AlarmLevelLimits(int source);

// ALM_CTRL fields. `alarm` is 1 or 2.
int AlarmSourceCode(int32_t ctrl, int alarm);
int32_t WithAlarmSources(int32_t ctrl, int source1, int source2);
bool AlarmRateOfChange(int32_t ctrl, int alarm);
int32_t WithAlarmRateOfChange(int32_t ctrl, int alarm, bool enabled);

struct AlarmIndicator {
  bool lineOne = false;  // DI/O1, else DI/O0
  bool high = false;     // output polarity High, else Low
  bool enabled = false;
};
AlarmIndicator AlarmIndicatorOf(int32_t ctrl);
int32_t WithAlarmIndicator(int32_t ctrl, const AlarmIndicator& indicator);

// The magnitudes a source can take: what both the 14-bit field and the source register's own
// data width hold, signed or unsigned as that register is.
struct AlarmMagnitudeRange {
  int32_t lowest;
  int32_t highest;
};
AlarmMagnitudeRange AlarmMagnitudeRangeOf(const RegisterTable& table, int source);

// A magnitude word as the window shows it: the magnitude in the source register's raw units
// (sign-extended to its width) and the level text, "#0.000" in the source's physical units. A
// code that names no source (13..15, or -1) shows the raw 14-bit magnitude as a whole number.
struct AlarmLevelView {
  int32_t magnitude;
  std::string level;
};
AlarmLevelView AlarmLevelFromWord(const RegisterTable& table, int source, int32_t word,
                                  const QLocale& locale = {});

// A typed level turned into a magnitude. The text is read in the regional form (anything else
// becomes "0"), held to the source's limits (the limit itself, in general form, replaces a
// level beyond it), converted with the source's offset and scale, rounded half to even, and
// held to the source's magnitude range. `text` is what the level field shows afterwards: the
// typed or limited text, or, when the magnitude had to be held, the level it now stands for.
// A source whose scale is 0 (the gyros at a range of 0, which read nothing) has no magnitude for
// any level: the level is refused, `refusal` says why, and nothing is to be written.
struct AlarmTypedLevel {
  std::string text;
  int32_t magnitude;
  std::string refusal;  // empty when the magnitude stands
};
AlarmTypedLevel AlarmMagnitudeFromText(const RegisterTable& table, int source,
                                       const std::string& typed, const QLocale& locale = {});
// The ALM_MAGn word: the low 14 bits of the magnitude and the polarity bit.
int32_t AlarmMagnitudeWord(int32_t magnitude, bool greater);

// A typed "Average Number": not numeric or below 0 becomes "0", above 255 "255"; the value
// written is the number rounded half to even.
struct AlarmAverage {
  std::string text;
  int32_t value;
};
AlarmAverage AlarmAverageFromText(const std::string& typed, const QLocale& locale = {});

// The five registers as last read; the ALM_CTRL word also goes to AlmCtrlShadow.
struct AlarmRegisters {
  int32_t mag1 = 0;
  int32_t mag2 = 0;
  int32_t smpl1 = 0;
  int32_t smpl2 = 0;
  int32_t ctrl = 0;
};
// Reads ALM_MAG1, ALM_MAG2, ALM_SMPL1, ALM_SMPL2 and ALM_CTRL, in this order.
AlarmRegisters ReadAlarmRegisters(AppContext& ctx);

// One alarm's source, level text and polarity as typed. A source outside 0..12 is written as 0.
struct AlarmEntry {
  int source = 0;
  std::string level;
  bool greater = false;
};
// Converts both levels and writes ALM_MAG1, then ALM_MAG2. The entries' level texts become what
// their fields show afterwards. A refused level is not written; its refusal is shown.
void WriteAlarmMagnitudes(AppContext& ctx, std::array<AlarmEntry, 2>& entries);
// Puts both sources into ALM_CTRL (its other bits as the sensor reports them) and writes it,
// waits 150 ms, then writes ALM_MAG1 and ALM_MAG2 from the levels. The entries' level texts
// become what their fields show afterwards.
void WriteAlarmSetup(AppContext& ctx, std::array<AlarmEntry, 2>& entries);
// Writes ALM_SMPLn, then ALM_CTRL as the sensor reports it with the alarm's rate-of-change bit.
void WriteAlarmAverage(AppContext& ctx, int alarm, int32_t value, bool rateOfChange);
// ALM_CTRL as the sensor reports it with bits 0-2 from `indicator`, into AlmCtrlShadow and
// written. Nothing is read back.
void WriteAlarmIndicator(AppContext& ctx, const AlarmIndicator& indicator);

}  // namespace vexa
