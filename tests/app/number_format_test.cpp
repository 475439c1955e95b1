#include "app/number_format.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

const QLocale kPoint(QLocale::English, QLocale::UnitedStates);
const QLocale kComma(QLocale::German, QLocale::Germany);

struct PatternCase {
  double value;
  const char* pattern;
  const char* point;
  const char* comma;
};

TEST(FormatPattern, FixedPatternsInPointAndCommaLocales) {
  const PatternCase cases[] = {
      {2.595f, "0.00", "2.60", "2,60"},
      {-12.346, "0.00", "-12.35", "-12,35"},
      {-0.001, "0.00", "0.00", "0,00"},
      {819.202097, "##0.0##", "819.202", "819,202"},
      {102.400262, "##0.0##", "102.4", "102,4"},
      {0.412901, "##0.0##", "0.413", "0,413"},
      {1638.4044, "##0.0##", "1638.404", "1638,404"},
      {1.2496947, "0.0######", "1.2496947", "1,2496947"},
      {1.0, "0.0######", "1.0", "1,0"},
      {0.24998106, "0.0####", "0.24998", "0,24998"},
      {0.0, "0.0####", "0.0", "0,0"},
      {100 * 0.049996212, "#0.000", "5.000", "5,000"},
      {-37.50912, "0.0000", "-37.5091", "-37,5091"},
      {1.25, "##0.0", "1.3", "1,3"},
      {1.2, "0.0", "1.2", "1,2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatPattern(c.value, c.pattern, kPoint), c.point) << c.value << " " << c.pattern;
    EXPECT_EQ(FormatPattern(c.value, c.pattern, kComma), c.comma) << c.value << " " << c.pattern;
  }
}

struct GeneralCase {
  double value;
  bool single;
  const char* point;
};

TEST(GeneralNumber, SignificantDigitsAndExponentForm) {
  const GeneralCase cases[] = {
      {0.5, true, "0.5"},
      {0, true, "0"},
      {-400, true, "-400"},
      {1.5, true, "1.5"},
      {0.049996212, true, "0.04999621"},
      {1e-5, true, "1E-05"},
      {0.0001, true, "0.0001"},
      {9999999, true, "9999999"},
      {12345678, true, "1.234568E+07"},
      {0.1 + 0.2, false, "0.3"},
      {1.0 / 3.0, false, "0.333333333333333"},
      {7.49385, false, "7.49385"},
  };
  for (const auto& c : cases) {
    const std::string got = c.single ? GeneralNumber(static_cast<float>(c.value), kPoint)
                                     : GeneralNumber(c.value, kPoint);
    EXPECT_EQ(got, c.point) << c.value;
  }
  EXPECT_EQ(GeneralNumber(1.5f, kComma), "1,5");
  EXPECT_EQ(GeneralNumber(1e-5f, kComma), "1E-05");
}

TEST(IsNumeric, WholeTextWithAPointOrTheRegionalDecimalSeparator) {
  struct Case {
    const char* text;
    bool point;
    bool comma;
  } cases[] = {
      {"12", true, true},      {" -3.5 ", true, true}, {"2,5", false, true},
      {"12abc", false, false}, {"", false, false},     {"-", false, false},
      {"   ", false, false},   {"1e3", true, true},    {"0.4", true, true},
      {"abc", false, false},   {"1,000", false, true}, {"1.000,5", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsNumeric(c.text, kPoint), c.point) << '"' << c.text << '"';
    EXPECT_EQ(IsNumeric(c.text, kComma), c.comma) << '"' << c.text << '"';
  }
}

TEST(Val, LeadingNumberWithAPointWhateverTheLocale) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"12abc", 12}, {" 1 2 ", 12}, {"-3.25x", -3.25}, {"2,5", 2}, {"", 0},   {"abc", 0},
      {".5", 0.5},   {"1e3", 1000}, {"1e", 1},         {"-", 0},   {"+7", 7}, {"819.202", 819.202},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(Val(c.text), c.value) << '"' << c.text << '"';
}

TEST(RoundHalfEven, ExactHalvesGoToTheEvenNeighbour) {
  struct Case {
    double value;
    double rounded;
  } cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-2.5, -2}, {-3.5, -4}, {2.4999, 2}, {12.5, 12}};
  for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c.value), c.rounded) << c.value;
  // 0.0375 is stored as 0.03749999999999999861..., below the half: it goes down.
  EXPECT_DOUBLE_EQ(RoundHalfEven(0.0375, 3), 0.037);
  EXPECT_DOUBLE_EQ(RoundHalfEven(-37.50912, 3), -37.509);
  EXPECT_DOUBLE_EQ(RoundHalfEven(0.125, 2), 0.12);
}

// Only a value that is an exact half as stored goes to even; a product value x 10^n that rounds
// to a half in double precision must not fool it.
TEST(RoundHalfEven, DecidesOnTheDigitsOfTheValueAsStored) {
  const float gyroCode = -3001 * 0.012499053f;  // a gyro offset read back
  struct Case {
    double value;
    int decimals;
    double rounded;
  } cases[] = {
      {0.0125, 3, 0.013},  // 0.01250000000000000069...: above the half
      {0.0005, 3, 0.001},  // above the half
      {0.045, 2, 0.04},    // 0.04499999999999999833...: below
      {2.675, 2, 2.67},    // below
      {1.0005, 3, 1.0},    // below
      {0.375, 2, 0.38},    // a true half: to even
      {-0.125, 2, -0.12},  // a true half, negative
      {9.9996, 3, 10.0},   // carries into a new digit
      {9.9995, 3, 9.999},  // 9.99949999...: below
      {gyroCode, 3, -37.51}, {-0.0004, 3, 0.0}, {3.5, 0, 4.0}, {1e300, 2, 1e300},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RoundHalfEven(c.value, c.decimals), c.rounded) << c.value << " " << c.decimals;
}

}  // namespace
}  // namespace vexa
