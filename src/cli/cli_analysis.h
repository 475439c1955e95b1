#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vexa::cli {

// `adev FILE... [--channel TITLE]... [--rate HZ] [--csv]`, `noise FILE... [--channel TITLE]...
// [--rate HZ] [--json] [--imu-yaml OUT [--overwrite]]` and `stats FILE...`: analyses of log
// files; no device is touched. Exit status 0, 1 when a file cannot be read or analysed, 2 on bad
// usage.
bool IsAnalysisCommand(const std::string& command);
int RunAnalysisCommand(const std::string& command, const std::vector<std::string>& operands,
                       std::ostream& out, std::ostream& err);

}  // namespace vexa::cli
