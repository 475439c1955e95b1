#pragma once

// What stands in the way of a log run before its first sample, found one way for the datalog
// window, vexa-cli and the Python module; each front end words it in its own form (a message or
// a question, an error line and exit status, an exception). The file writer still refuses at
// its start what it cannot do (lock, room on the disk), whoever skipped this.

#include <string>
#include <vector>

#include "datalog/log_run.h"

namespace vexa::datalog {

struct LogStartCheck {
  std::string nameProblem;         // why the files cannot carry the name; empty when they can
  std::vector<std::string> taken;  // files of the run's names already in the folder
  bool ok() const { return nameProblem.empty() && taken.empty(); }
};

// The name first: files of a name that cannot be used are not looked for. Files already there
// are looked for unless the run may replace them.
LogStartCheck CheckLogStart(const LogSettings& settings);

}  // namespace vexa::datalog
