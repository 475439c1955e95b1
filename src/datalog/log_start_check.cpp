#include "datalog/log_start_check.h"

#include <cmath>
#include <cstdio>

#include "datalog/log_file_format.h"
#include "datalog/log_file_sink.h"

namespace vexa::datalog {

namespace {

bool wholeWithin(double value, double least, double most) {
  return value >= least && value <= most && std::floor(value) == value;
}

std::string numberText(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

std::string SamplesPerFileProblem(double value, const std::string& name, const std::string& given) {
  if (wholeWithin(value, 1, 2147483647.0)) return {};
  return name + " needs a whole number from 1 to 2147483647, not '" + given + "'";
}

std::string FilesProblem(double value, const std::string& name, const std::string& given) {
  if (wholeWithin(value, 1, 2000000000.0)) return {};
  return name + " needs a whole number from 1 to 2000000000, not '" + given + "'";
}

std::string SampleDelayProblem(double value, const std::string& name, const std::string& given) {
  if (value >= 0 && value <= 32000) return {};
  return name + " needs milliseconds from 0 to 32000, not '" + given + "'";
}

std::string ChannelsProblem(const ChannelList& channels) {
  if (channels.empty()) return "log needs at least one channel: SUPPLY_OUT .. AUX_ADC or all";
  for (int16_t c : channels)
    if (c < 1 || c > kChannelCount)
      return "channel " + std::to_string(c) + " is no output register: give SUPPLY_OUT .. AUX_ADC";
  return {};
}

std::string LogLimitsProblem(const LogSettings& s, const LogSettingNames& names) {
  std::string problem =
      SamplesPerFileProblem(s.samplesPerFile, names.samples, numberText(s.samplesPerFile));
  if (problem.empty())
    problem = FilesProblem(s.filesPerSession, names.files, numberText(s.filesPerSession));
  if (problem.empty())
    problem = SampleDelayProblem(s.sampleDelayMs, names.delay, numberText(s.sampleDelayMs));
  if (problem.empty()) problem = ChannelsProblem(s.channels);
  return problem;
}

LogStartCheck CheckLogStart(const LogSettings& s, const LogSettingNames& names) {
  LogStartCheck check;
  check.limitProblem = LogLimitsProblem(s, names);
  if (!check.limitProblem.empty()) return check;
  const LogFormat format = LogFormat::forLocale(s.locale);
  check.nameProblem = LogNameProblem(s.fileName, format);
  if (!check.nameProblem.empty() || s.replaceExisting) return check;
  check.taken =
      ExistingLogFiles(s.directory, s.fileName, static_cast<int64_t>(s.filesPerSession), format);
  return check;
}

}  // namespace vexa::datalog
