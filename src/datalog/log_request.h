#pragma once

// A log run's settings built one way for the datalog window, vexa-cli and the Python module:
// each front end fills a LogRequest from its own form (the window's fields, the command line's
// operands, the module's keywords) and the rest - the folder when none was chosen, the regional
// form, the channels in table order - is settled here.

#include <optional>
#include <string>

#include "app/app_context.h"
#include "datalog/log_run.h"

namespace vexa::datalog {

struct LogRequest {
  double samplesPerFile = 1000;
  double files = 1;
  double sampleDelayMs = 0;
  std::string name = kDefaultLogName;
  LogUnits units = LogUnits::Scaled;
  ChannelList channels;                  // register indices; any order, repeats ignored
  std::optional<std::string> directory;  // none: the folder chosen in the datalog window
  bool replaceExisting = false;
};

// Nothing is checked or clamped here: CheckLogStart (log_start_check.h) says what is out of
// its limits, in the front end's names.
LogSettings BuildLogSettings(AppContext& ctx, const LogRequest& request);

}  // namespace vexa::datalog
