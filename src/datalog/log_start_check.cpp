#include "datalog/log_start_check.h"

#include "datalog/log_file_format.h"
#include "datalog/log_file_sink.h"

namespace vexa::datalog {

LogStartCheck CheckLogStart(const LogSettings& s) {
  LogStartCheck check;
  const LogFormat format = LogFormat::forLocale(s.locale);
  check.nameProblem = LogNameProblem(s.fileName, format);
  if (!check.nameProblem.empty() || s.replaceExisting) return check;
  check.taken =
      ExistingLogFiles(s.directory, s.fileName, static_cast<int64_t>(s.filesPerSession), format);
  return check;
}

}  // namespace vexa::datalog
