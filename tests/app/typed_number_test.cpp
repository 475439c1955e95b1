// What a typed number becomes on its way to the sensor, for every kind of number field, in a
// region with a decimal point (C) and one with a decimal comma (German).
#include "app/typed_number.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "app/number_format.h"
#include "cli/cli.h"
#include "cli/cli_magcal.h"
#include "registers/alarm_setup.h"
#include "registers/offset_codes.h"
#include "registers/operation_codes.h"
#include "registers/register_table.h"
#include "transport/usb/usb_debug.h"

namespace vexa {
namespace {

const QLocale kPoint = QLocale::c();
const QLocale kComma(QLocale::German, QLocale::Germany);

// Command-line options read the process's region: set it for one case.
class DefaultLocale {
 public:
  explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
  ~DefaultLocale() { QLocale::setDefault(saved_); }

 private:
  QLocale saved_;
};

using Field = std::function<double(const std::string&, const QLocale&)>;

const std::map<std::string, Field>& fields() {
  static const RegisterTable table = [] {
    RegisterTable t;
    BuildRegisterTable(t);
    return t;
  }();
  static const std::map<std::string, Field> kFields = {
      {"dac code",
       [](const std::string& t, const QLocale& l) {
         return DacCode(RegionalValue(AcceptVoltsText(t, l), l));
       }},
      {"gyro offset code",
       [](const std::string& t, const QLocale& l) {
         return OffsetCode(table, XGYRO_OFF, AcceptOffsetText(t, kOffsetRows[0], l).value);
       }},
      {"hard iron code",
       [](const std::string& t, const QLocale& l) {
         return OffsetCode(table, XMAGN_HIF, AcceptOffsetText(t, kOffsetRows[6], l).value);
       }},
      {"smpl_prd",
       [](const std::string& t, const QLocale& l) {
         return SampleRateCode(RegionalValue(AcceptSampleRateText(t, l), l));
       }},
      {"taps", [](const std::string& t,
                  const QLocale& l) { return RegionalValue(AcceptTapsText(t, l), l); }},
      {"alarm magnitude",
       [](const std::string& t, const QLocale& l) {
         return AlarmMagnitudeFromText(table, XGYRO_OUT, t, l).magnitude;
       }},
      {"alarm samples",
       [](const std::string& t, const QLocale& l) { return AlarmAverageFromText(t, l).value; }},
      {"usb word delay",
       [](const std::string& t, const QLocale& l) { return DebugWordDelay(t, l); }},
      {"plain field", [](const std::string& t, const QLocale& l) { return RegionalValue(t, l); }},
      {"spi clock", [](const std::string& t, const QLocale& l) { return HertzFromText(t, l); }},
      {"cli --spi-speed",
       [](const std::string& t, const QLocale& l) {
         DefaultLocale region(l);
         cli::CliOptions o;
         std::string error;
         if (!cli::ParseArguments({"--spi-speed", t, "dump"}, o, error)) return -1.0;
         return std::stod(o.device.adapterSettings.front().second);
       }},
      {"cli magcal --seconds",
       [](const std::string& t, const QLocale& l) {
         DefaultLocale region(l);
         cli::MagCalOptions o;
         std::string error;
         return cli::ParseMagCalOperands({"--seconds", t}, o, error) ? o.seconds : -1.0;
       }},
  };
  return kFields;
}

TEST(TypedNumber, EveryFieldKindReadsAPointAndTheRegionalCommaButNoGroupSeparator) {
  const struct {
    const char* field;
    const char* text;
    double point;  // what the field makes of the text in the C region
    double comma;  // and in the German one
  } cases[] = {
      {"dac code", "1.25", 2047, 2047},  // 1.25 V of 2.5 V full scale, truncated
      {"dac code", "1.250", 2047, 2047},
      {"dac code", "1,25", 0, 2047},  // not a number where the comma groups: 0 V
      {"dac code", "2", 3276, 3276},
      {"gyro offset code", "1.250", 100, 100},  // 0.0125 deg/s per code
      {"gyro offset code", "1,250", 0, 100},
      {"gyro offset code", "-3", -240, -240},
      {"hard iron code", "0.500", 1, 1},  // 0.5 mG per code
      {"hard iron code", "0,500", 0, 1},
      {"hard iron code", "12", 24, 24},
      {"smpl_prd", "0.100", 255, 255},  // below the slowest rate: the slowest period
      {"smpl_prd", "0,100", 1, 255},    // not a number in C: the fastest rate
      {"smpl_prd", "100", 15, 15},
      {"taps", "16.000", 16, 16},
      {"taps", "16,000", 1, 16},
      {"taps", "8", 8, 8},
      {"alarm magnitude", "6.25", 125, 125},  // 0.05 deg/s per code
      {"alarm magnitude", "6,25", 0, 125},
      {"alarm magnitude", "-10", -200, -200},
      {"alarm samples", "2.5", 2, 2},  // halves to even
      {"alarm samples", "2,5", 0, 2},
      {"alarm samples", "12", 12, 12},
      {"usb word delay", "7.6", 8, 8},
      {"usb word delay", "7,6", 1, 8},
      {"usb word delay", "20", 20, 20},
      {"plain field", "0.5", 0.5, 0.5},
      {"plain field", "0,5", 0, 0.5},
      {"plain field", "1.234,5", 0, 0},  // a group separator is never part of a number
      {"plain field", "1,234.5", 0, 0},
      {"plain field", " 250 ", 250, 250},
      {"plain field", "1e3", 1000, 1000},
      {"spi clock", "2M", 2e6, 2e6},
      {"spi clock", "2.5M", 2.5e6, 2.5e6},
      {"spi clock", "2,5M", 0, 2.5e6},
      {"spi clock", "500 kHz", 5e5, 5e5},
      {"spi clock", "1000000", 1e6, 1e6},
      {"cli --spi-speed", "2,5M", -1, 2.5e6},
      {"cli --spi-speed", "1.5M", 1.5e6, 1.5e6},
      {"cli magcal --seconds", "1,5", -1, 1.5},
      {"cli magcal --seconds", "30", 30, 30},
  };
  for (const auto& c : cases) {
    const Field& read = fields().at(c.field);
    EXPECT_DOUBLE_EQ(read(c.text, kPoint), c.point) << c.field << " \"" << c.text << "\" C";
    EXPECT_DOUBLE_EQ(read(c.text, kComma), c.comma) << c.field << " \"" << c.text << "\" de";
  }
}

TEST(TypedNumber, LeadingNumberAndWholeText) {
  const struct {
    const char* text;
    double leading;
    bool whole;
  } cases[] = {
      {"12abc", 12, false}, {" 1 2 ", 12, false}, {"-3,25x", -3.25, false}, {"", 0, false},
      {"-", 0, false},      {".5", 0.5, true},    {"5.", 5, true},          {"1e400", 0, false},
      {"nan", 0, false},    {"inf", 0, false},    {"1e", 1, false},         {"+7", 7, true},
  };
  for (const auto& c : cases) {
    const TypedNumber n = ReadTypedNumber(c.text, kComma);
    EXPECT_DOUBLE_EQ(n.leading, c.leading) << '"' << c.text << '"';
    EXPECT_EQ(n.whole, c.whole) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace vexa
