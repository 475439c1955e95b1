#include "datalog/log_start_check.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vexa::datalog {
namespace {

LogSettings Within() {
  LogSettings s;
  s.samplesPerFile = 10;
  s.filesPerSession = 1;
  s.sampleDelayMs = 0;
  s.channels = {2};
  s.fileName = "RUN";
  s.directory = "/nonexistent-folder";
  return s;
}

// Each limit at both of its edges and just past them, in the names the caller gives.
TEST(LogStartCheck, EveryLimitIsCheckedAtItsEdgesInTheCallersNames) {
  const double nan = std::nan("");
  const struct {
    void (*change)(LogSettings&, double);
    double value;
    const char* problem;  // empty: within the limits
  } cases[] = {
      {[](LogSettings& s, double v) { s.samplesPerFile = v; }, 1, ""},
      {[](LogSettings& s, double v) { s.samplesPerFile = v; }, 2147483647.0, ""},
      {[](LogSettings& s, double v) { s.samplesPerFile = v; }, 0,
       "S needs a whole number from 1 to 2147483647, not '0'"},
      {[](LogSettings& s, double v) { s.samplesPerFile = v; }, 2147483648.0,
       "S needs a whole number from 1 to 2147483647, not '2147483648'"},
      {[](LogSettings& s, double v) { s.samplesPerFile = v; }, 2.5,
       "S needs a whole number from 1 to 2147483647, not '2.5'"},
      {[](LogSettings& s, double v) { s.samplesPerFile = v; }, nan,
       "S needs a whole number from 1 to 2147483647, not 'nan'"},
      {[](LogSettings& s, double v) { s.filesPerSession = v; }, 2000000000.0, ""},
      {[](LogSettings& s, double v) { s.filesPerSession = v; }, 2000000001.0,
       "F needs a whole number from 1 to 2000000000, not '2000000001'"},
      {[](LogSettings& s, double v) { s.sampleDelayMs = float(v); }, 32000, ""},
      {[](LogSettings& s, double v) { s.sampleDelayMs = float(v); }, 0.005, ""},
      {[](LogSettings& s, double v) { s.sampleDelayMs = float(v); }, 32000.5,
       "D needs milliseconds from 0 to 32000, not '32000.5'"},
      {[](LogSettings& s, double v) { s.sampleDelayMs = float(v); }, -0.5,
       "D needs milliseconds from 0 to 32000, not '-0.5'"},
      {[](LogSettings& s, double) { s.channels = {}; }, 0,
       "log needs at least one channel: SUPPLY_OUT .. AUX_ADC or all"},
      {[](LogSettings& s, double) {
         s.channels = {12, 13};
       },
       0, "channel 13 is no output register: give SUPPLY_OUT .. AUX_ADC"},
      {[](LogSettings& s, double) {
         s.channels = {1, 12};
       },
       0, ""},
  };
  for (const auto& c : cases) {
    LogSettings s = Within();
    c.change(s, c.value);
    // A name the files cannot carry is not looked at while a limit is broken.
    s.fileName = "bad/name";
    const LogStartCheck check = CheckLogStart(s, {"S", "F", "D"});
    EXPECT_EQ(check.limitProblem, c.problem) << c.value;
    EXPECT_EQ(check.nameProblem.empty(), *c.problem != '\0') << c.value;
    EXPECT_FALSE(check.ok());
  }
}

}  // namespace
}  // namespace vexa::datalog
