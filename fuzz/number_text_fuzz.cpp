// libFuzzer target: the number text helpers on any text, in a point and a comma locale. A text
// taken as a number must have a finite value and read back from its own general form, and every
// value must survive formatting and the conversions to integers (the float-cast-overflow check
// watches those).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <QLocale>

#include "app/number_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256) return 0;  // the program's text fields are short
  const std::string text(reinterpret_cast<const char*>(data), size);
  static const QLocale locales[] = {QLocale(QLocale::English, QLocale::UnitedStates),
                                    QLocale(QLocale::German, QLocale::Germany)};
  for (const QLocale& locale : locales) {
    const double regional = vexa::RegionalValue(text, locale);
    if (!std::isfinite(regional)) std::abort();
    if (vexa::IsNumeric(text, locale)) {
      (void)vexa::SaturatingInt32(vexa::RoundHalfEven(regional));
      (void)vexa::FormatPattern(regional, "0.00", locale);
      // What a field shows of a number it took, it takes again.
      if (!vexa::IsNumeric(vexa::GeneralNumber(regional, locale), locale)) std::abort();
    }
    (void)vexa::GeneralNumber(static_cast<float>(std::fmin(std::fabs(regional), 3e38)), locale);
  }
  const double value = vexa::Val(text);
  if (!std::isfinite(value)) std::abort();
  (void)vexa::SaturatingInt32(vexa::RoundHalfEven(value));
  (void)vexa::SaturatingInt64(value * 100.0);
  (void)vexa::FormatPattern(value, "##0.0##");
  (void)vexa::GeneralNumber(value);
  return 0;
}
