#pragma once

#include <string>

#include <QLocale>

namespace vexa {

// How every number field of the program, and every numeric option of the command line, reads
// what was typed. The decimal separator is a point whatever the region, or the region's own
// separator where that is another one (a comma in German); a group separator never counts as
// one, and is no part of a number: in a German region "1.250" is one and a quarter, and where
// the comma groups thousands "0,100" is no number at all rather than a hundred.
struct TypedNumber {
  // The text's leading number (blanks anywhere skipped, reading stops at the first character
  // that cannot continue it); 0 when the text does not begin with a finite number.
  double leading = 0;
  // Whether the whole text, blanks around it aside, is that one finite number.
  bool whole = false;
};

TypedNumber ReadTypedNumber(const std::string& text, const QLocale& locale = {});

// A clock rate as typed: a number as above, then nothing, "Hz", "k"/"K"/"kHz" or "M"/"MHz"
// ("1000000", "500k", "2M", "2.5M"), in whole hertz (halves up); 0 when malformed or outside
// 1 Hz to 1 GHz.
long HertzFromText(const std::string& text, const QLocale& locale = {});

}  // namespace vexa
