#include "registers/alarm_setup.h"

#include <algorithm>
#include <cmath>

#include "app/delay.h"
#include "app/number_format.h"
#include "registers/register_access.h"

namespace vexa {

const std::array<const char*, kAlarmSources> kAlarmSourceNames = {
    "Disabled", "Supply V", "X_Gyro", "Y-Gyro", "Z_Gyro",      "X_Accel", "Y_Accel",
    "Z_Accel",  "X_Magn",   "Y_Magn", "Z_Magn", "Temperature", "Aux_ADC"};

namespace {

constexpr std::array<AlarmLimits, kAlarmSources> kLimits = {{
    {0, 0},
    {0, 7.49385},
    {-600, 600},
    {-600, 600},
    {-600, 600},
    {-20.66, 20.66},
    {-20.66, 20.66},
    {-20.66, 20.66},
    {-4096, 4095},
    {-4096, 4095},
    {-4096, 4095},
    {-297.574, 297.4291},
    {0, 2.5},
}};

constexpr float kAlarmSettleMs = 150;
constexpr int kMagnitudeWidth = 14;

bool namesSource(int source) {
  return source >= 0 && source < kAlarmSources;
}

// The w-bit field of `bits` as the register reads it: two's complement or plain.
int32_t fieldValue(int32_t bits, int width, bool twosComplement) {
  if (width >= 31) return bits;
  const int32_t top = int32_t{1} << (width - 1);
  if (twosComplement) return (bits & (top - 1)) - (bits & top);
  return bits & ((top << 1) - 1);
}

int shiftOf(int alarm) {
  return alarm == 1 ? 8 : 12;
}

std::string rightTrimmedLabel(const RegisterTable& table, int source) {
  std::string label = table.Label[source];
  while (!label.empty() && label.back() == ' ') label.pop_back();
  return label;
}

}  // namespace

std::optional<AlarmLimits> AlarmLevelLimits(int source) {
  if (!namesSource(source)) return std::nullopt;
  return kLimits[static_cast<size_t>(source)];
}

int AlarmSourceCode(int32_t ctrl, int alarm) {
  return (ctrl >> shiftOf(alarm)) & 0xF;
}

int32_t WithAlarmSources(int32_t ctrl, int source1, int source2) {
  ctrl = (ctrl & 0xF0FF) | ((source1 & 0xF) << 8);
  return (ctrl & 0x0FFF) | ((source2 & 0xF) << 12);
}

bool AlarmRateOfChange(int32_t ctrl, int alarm) {
  return (ctrl & (alarm == 1 ? 0x40 : 0x80)) != 0;
}

int32_t WithAlarmRateOfChange(int32_t ctrl, int alarm, bool enabled) {
  const int32_t bit = alarm == 1 ? 0x40 : 0x80;
  return enabled ? (ctrl | bit) : (ctrl & ~bit);
}

AlarmIndicator AlarmIndicatorOf(int32_t ctrl) {
  return {(ctrl & 1) != 0, (ctrl & 2) != 0, (ctrl & 4) != 0};
}

int32_t WithAlarmIndicator(int32_t ctrl, const AlarmIndicator& indicator) {
  return (ctrl & ~7) | (indicator.lineOne ? 1 : 0) | (indicator.high ? 2 : 0) |
         (indicator.enabled ? 4 : 0);
}

AlarmMagnitudeRange AlarmMagnitudeRangeOf(const RegisterTable& table, int source) {
  if (!namesSource(source)) source = 0;
  const int width = std::min<int>(table.ReadLen[source], kMagnitudeWidth);
  if (table.TwosCompl[source] != 0)
    return {-(int32_t{1} << (width - 1)), (int32_t{1} << (width - 1)) - 1};
  return {0, (int32_t{1} << width) - 1};
}

AlarmLevelView AlarmLevelFromWord(const RegisterTable& table, int source, int32_t word,
                                  const QLocale& locale) {
  const int32_t bits = word & kAlarmMagnitudeBits;
  if (!namesSource(source)) return {bits, std::to_string(bits)};
  const int32_t v = fieldValue(bits, table.ReadLen[source], table.TwosCompl[source] != 0);
  const float level = static_cast<float>(v) * table.RegScale[source] + table.RegOffset[source];
  return {v, FormatPattern(level, "#0.000", locale)};
}

AlarmTypedLevel AlarmMagnitudeFromText(const RegisterTable& table, int source,
                                       const std::string& typed, const QLocale& locale) {
  if (!namesSource(source)) source = 0;
  std::string t = typed;
  // Both the limit check and the conversion read the regional form, so they cannot disagree.
  if (!IsNumeric(t, locale) || !std::isfinite(RegionalValue(t, locale))) t = "0";
  const AlarmLimits limits = kLimits[static_cast<size_t>(source)];
  if (RegionalValue(t, locale) < limits.lowest) t = GeneralNumber(limits.lowest, locale);
  if (RegionalValue(t, locale) > limits.highest) t = GeneralNumber(limits.highest, locale);

  const double scale = table.RegScale[source];
  const double offset = table.RegOffset[source];
  if (!(scale != 0) || !std::isfinite(scale))
    return {t, 0,
            "The scale of " + rightTrimmedLabel(table, source) +
                " is 0 (the gyro range in SENS_AVG is 0, so the gyros read nothing): a level " +
                "cannot be set. Set the gyro range first; the level was not written."};
  const double exact = RoundHalfEven((RegionalValue(t, locale) - offset) / scale);
  // Only 14 bits reach the register, and the source reads them at its own width: a magnitude
  // beyond either would come back with the wrong sign or size, so hold it to what both carry.
  const AlarmMagnitudeRange range = AlarmMagnitudeRangeOf(table, source);
  const int32_t magnitude = SaturatingInt32(
      std::clamp(exact, static_cast<double>(range.lowest), static_cast<double>(range.highest)));
  if (magnitude != exact) {
    const float level =
        static_cast<float>(magnitude) * table.RegScale[source] + table.RegOffset[source];
    t = FormatPattern(level, "#0.000", locale);
  }
  return {t, magnitude, ""};
}

int32_t AlarmMagnitudeWord(int32_t magnitude, bool greater) {
  return (magnitude & kAlarmMagnitudeBits) | (greater ? kAlarmGreaterThan : 0);
}

AlarmAverage AlarmAverageFromText(const std::string& typed, const QLocale& locale) {
  std::string t = typed;
  if (!IsNumeric(t, locale) || !std::isfinite(RegionalValue(t, locale))) t = "0";
  if (RegionalValue(t, locale) < 0) t = "0";
  if (RegionalValue(t, locale) > 255) t = "255";
  return {t, static_cast<int32_t>(RoundHalfEven(RegionalValue(t, locale)))};
}

AlarmRegisters ReadAlarmRegisters(AppContext& ctx) {
  AlarmRegisters r;
  ReadRegister(ctx, ALM_MAG1);
  r.mag1 = ctx.access.LastRaw;
  ReadRegister(ctx, ALM_MAG2);
  r.mag2 = ctx.access.LastRaw;
  ReadRegister(ctx, ALM_SMPL1);
  r.smpl1 = ctx.access.LastRaw;
  ReadRegister(ctx, ALM_SMPL2);
  r.smpl2 = ctx.access.LastRaw;
  ReadRegister(ctx, ALM_CTRL);
  r.ctrl = ctx.access.LastRaw;
  ctx.access.AlmCtrlShadow = r.ctrl;
  return r;
}

void WriteAlarmMagnitudes(AppContext& ctx, std::array<AlarmEntry, 2>& entries) {
  constexpr int16_t kMagnitudeRegisters[] = {ALM_MAG1, ALM_MAG2};
  for (size_t n = 0; n < entries.size(); ++n) {
    const AlarmTypedLevel typed =
        AlarmMagnitudeFromText(ctx.registers, entries[n].source, entries[n].level);
    entries[n].level = typed.text;
    if (!typed.refusal.empty()) {
      ctx.messages().show(kApplicationTitle,
                          "Alarm " + std::to_string(n + 1) + ": " + typed.refusal,
                          MessageIcon::Warning);
      continue;
    }
    WriteRegister(ctx, kMagnitudeRegisters[n],
                  AlarmMagnitudeWord(typed.magnitude, entries[n].greater));
  }
}

void WriteAlarmSetup(AppContext& ctx, std::array<AlarmEntry, 2>& entries) {
  for (AlarmEntry& e : entries)
    if (!namesSource(e.source)) e.source = 0;
  ReadRegister(ctx, ALM_CTRL);
  ctx.access.AlmCtrlShadow =
      WithAlarmSources(ctx.access.LastRaw, entries[0].source, entries[1].source);
  WriteRegister(ctx, ALM_CTRL, ctx.access.AlmCtrlShadow);
  DelayMs(ctx, kAlarmSettleMs);

  WriteAlarmMagnitudes(ctx, entries);
}

void WriteAlarmAverage(AppContext& ctx, int alarm, int32_t value, bool rateOfChange) {
  WriteRegister(ctx, alarm == 1 ? ALM_SMPL1 : ALM_SMPL2, value);
  ReadRegister(ctx, ALM_CTRL);
  WriteRegister(ctx, ALM_CTRL, WithAlarmRateOfChange(ctx.access.LastRaw, alarm, rateOfChange));
}

void WriteAlarmIndicator(AppContext& ctx, const AlarmIndicator& indicator) {
  ReadRegister(ctx, ALM_CTRL);
  ctx.access.AlmCtrlShadow = WithAlarmIndicator(ctx.access.LastRaw, indicator);
  WriteRegister(ctx, ALM_CTRL, ctx.access.AlmCtrlShadow);
}

}  // namespace vexa
