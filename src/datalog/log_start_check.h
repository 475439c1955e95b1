#pragma once

// What stands in the way of a log run before its first sample, found one way for the datalog
// window, vexa-cli and the Python module; each front end words it in its own form (a message or
// a question, an error line and exit status, an exception). The file writer still refuses at
// its start what it cannot do (lock, room on the disk), whoever skipped this.

#include <string>
#include <vector>

#include "datalog/log_run.h"

namespace vexa::datalog {

// How a front end names the run's settings in its words: the command line its options, the
// module its keywords, the window its fields.
struct LogSettingNames {
  std::string samples = "samples per file";
  std::string files = "files";
  std::string delay = "sample delay";
};

// The words for a setting out of its limits, empty when it is within them: `name` as the front
// end calls the setting, `given` the value as the user gave it. Samples per file and files are
// whole numbers (1 .. 2147483647, 1 .. 2000000000), the delay milliseconds from 0 to 32000; a
// value that is no number (NaN) is out of every limit.
std::string SamplesPerFileProblem(double value, const std::string& name, const std::string& given);
std::string FilesProblem(double value, const std::string& name, const std::string& given);
std::string SampleDelayProblem(double value, const std::string& name, const std::string& given);
// At least one channel, each an output register (SUPPLY_OUT .. AUX_ADC).
std::string ChannelsProblem(const ChannelList& channels);
// The first of the above for the settings, the values written as numbers.
std::string LogLimitsProblem(const LogSettings& settings, const LogSettingNames& names);

struct LogStartCheck {
  std::string limitProblem;        // a setting out of its limits; empty when all are within
  std::string nameProblem;         // why the files cannot carry the name; empty when they can
  std::vector<std::string> taken;  // files of the run's names already in the folder
  bool ok() const { return limitProblem.empty() && nameProblem.empty() && taken.empty(); }
};

// The limits first, then the name: files of a name that cannot be used are not looked for.
// Files already there are looked for unless the run may replace them.
LogStartCheck CheckLogStart(const LogSettings& settings, const LogSettingNames& names = {});

}  // namespace vexa::datalog
