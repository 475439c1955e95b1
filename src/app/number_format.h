#pragma once

#include <cstdint>
#include <string>

#include <QLocale>

namespace vexa {

// Regional number forms. Every function follows `locale`, by default the system's.

// Rounds to the nearest integer, exact halves to the even neighbour.
double RoundHalfEven(double value);
// Rounds to `decimals` places, exact halves (of the value as stored) to the even neighbour.
double RoundHalfEven(double value, int decimals);

// Floating point to integer without undefined behaviour: values beyond the type's range give
// its nearest bound, NaN gives 0. The fraction is cut toward zero, as a plain conversion does.
int32_t SaturatingInt32(double value);
int64_t SaturatingInt64(double value);

// Fixed patterns such as "0.00", "##0.0##", "0.0######", "#0.000": '0' after the point is a
// decimal always shown, '#' one shown only when not zero; at least one integer digit.
std::string FormatPattern(double value, const std::string& pattern, const QLocale& locale = {});

// General form: as many digits as the value needs, at most 7 significant digits for single and
// 15 for double precision, exponent form ("1E-05", "1.234568E+07") outside 0.0001 to 9999999.
std::string GeneralNumber(float value, const QLocale& locale = {});
std::string GeneralNumber(double value, const QLocale& locale = {});
std::string GeneralNumber(int value, const QLocale& locale = {});

// Whether the whole text, blanks around it aside, is a finite number as a field reads it
// (ReadTypedNumber: a point, or the regional decimal separator; no group separators).
bool IsNumeric(const std::string& text, const QLocale& locale = {});
// The value of the text's leading number, read with a point as decimal separator whatever the
// region (files); blanks are skipped, and a text without a leading number, or whose number is
// too large for a double, is 0.
double Val(const std::string& text);
// The text as a finite number as a field reads it; 0 when it is not one.
double RegionalValue(const std::string& text, const QLocale& locale = {});

}  // namespace vexa
