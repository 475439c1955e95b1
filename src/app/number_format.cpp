#include "app/number_format.h"

#include "app/typed_number.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace vexa {

namespace {

std::string decimalPoint(const QLocale& locale) {
  return locale.decimalPoint().toStdString();
}

std::string withRegionalPoint(std::string text, const QLocale& locale) {
  const size_t point = text.find('.');
  if (point != std::string::npos) text.replace(point, 1, decimalPoint(locale));
  return text;
}

// printf's %g, reshaped: upper-case E, the exponent with a sign and at least two digits.
std::string general(double value, int significant, const QLocale& locale) {
  if (value == 0) return "0";
  char text[64];
  auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::general, significant);
  std::string s(text, r.ptr);
  const size_t e = s.find('e');
  if (e != std::string::npos) s[e] = 'E';
  return withRegionalPoint(s, locale);
}

// Whether `value` lies exactly halfway between two numbers of `decimals` decimals.
bool isExactHalf(double value, int decimals) {
  char text[400];
  auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals + 60);
  const std::string s(text, r.ptr);
  const size_t dot = s.find('.');
  if (dot == std::string::npos || dot + decimals + 1 >= s.size()) return false;
  const size_t half = dot + decimals + 1;
  return s[half] == '5' && s.find_first_not_of('0', half + 1) == std::string::npos;
}

}  // namespace

int32_t SaturatingInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  if (value >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(value);
}

int64_t SaturatingInt64(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exact in double; INT64_MAX is not, and rounds up to it.
  if (value <= -9223372036854775808.0) return INT64_MIN;
  if (value >= 9223372036854775808.0) return INT64_MAX;
  return static_cast<int64_t>(value);
}

double RoundHalfEven(double value) {
  return std::nearbyint(value);
}

double RoundHalfEven(double value, int decimals) {
  // A double has at most 1074 binary places, so that many decimals are its exact expansion:
  // the decision is made on the digits of the value as stored, not on a product that has been
  // rounded once already (0.0125 lies just above the half and goes up; 0.125 is a true half).
  constexpr int kExactDecimals = 1074;
  if (!std::isfinite(value) || decimals < 0 || decimals >= kExactDecimals) return value;
  char text[kExactDecimals + 400];
  auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, kExactDecimals);
  std::string s(text, r.ptr);
  const bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  const size_t dot = s.find('.');
  const size_t cut = dot + 1 + decimals;  // first digit dropped
  const size_t tail = s.find_first_not_of('0', cut + 1);
  bool up = s[cut] > '5' || (s[cut] == '5' && tail != std::string::npos);
  if (s[cut] == '5' && tail == std::string::npos) {
    const char last = decimals > 0 ? s[cut - 1] : s[dot - 1];
    up = (last - '0') % 2 != 0;  // exact half: to the even neighbour
  }
  std::string kept = s.substr(0, decimals > 0 ? cut : dot);
  if (up) {
    int i = static_cast<int>(kept.size()) - 1;
    for (; i >= 0; --i) {
      if (kept[i] == '.') continue;
      if (kept[i] != '9') {
        ++kept[i];
        break;
      }
      kept[i] = '0';
    }
    if (i < 0) kept.insert(kept.begin(), '1');
  }
  double rounded = 0;
  std::from_chars(kept.data(), kept.data() + kept.size(), rounded);
  return negative ? -rounded : rounded;
}

std::string FormatPattern(double value, const std::string& pattern, const QLocale& locale) {
  const size_t point = pattern.find('.');
  int minDecimals = 0;
  int maxDecimals = 0;
  if (point != std::string::npos) {
    for (size_t i = point + 1; i < pattern.size(); ++i) {
      if (pattern[i] == '0') ++minDecimals, ++maxDecimals;
      if (pattern[i] == '#') ++maxDecimals;
    }
  }
  char text[400];
  // Displayed numbers round exact halves away from zero (2.5 shows as 3 with no decimals).
  if (isExactHalf(value, maxDecimals))
    value = std::nextafter(value, value > 0 ? HUGE_VAL : -HUGE_VAL);
  auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, maxDecimals);
  std::string s(text, r.ptr);
  if (maxDecimals > minDecimals) {
    size_t end = s.size();
    const size_t dot = s.find('.');
    const size_t keep = dot + 1 + minDecimals;
    while (end > keep && s[end - 1] == '0') --end;
    if (end == dot + 1) --end;  // no decimals left: no point either
    s.erase(end);
  }
  // A value that rounds to zero carries no sign.
  if (s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s.erase(0, 1);
  return withRegionalPoint(s, locale);
}

std::string GeneralNumber(float value, const QLocale& locale) {
  return general(static_cast<double>(value), 7, locale);
}

std::string GeneralNumber(double value, const QLocale& locale) {
  return general(value, 15, locale);
}

std::string GeneralNumber(int value, const QLocale&) {
  return std::to_string(value);
}

bool IsNumeric(const std::string& text, const QLocale& locale) {
  return ReadTypedNumber(text, locale).whole;
}

double Val(const std::string& text) {
  return ReadTypedNumber(text, QLocale::c()).leading;
}

double RegionalValue(const std::string& text, const QLocale& locale) {
  const TypedNumber n = ReadTypedNumber(text, locale);
  return n.whole ? n.leading : 0.0;
}

}  // namespace vexa
