#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "analysis/noise_characterisation.h"

namespace vexa::cli {

// `adev FILE... [--channel TITLE]... [--rate HZ] [--csv]`, `noise FILE... [--channel TITLE]...
// [--rate HZ] [--json] [--imu-yaml OUT [--overwrite]]` and `stats FILE...`: analyses of log
// files; no device is touched. Exit status 0, 1 when a file cannot be read or analysed, 2 on bad
// usage.
bool IsAnalysisCommand(const std::string& command);

// What `noise` analysed, for the results store: the record's files and the channels fitted.
struct NoiseAnalysis {
  std::vector<std::string> files;
  std::vector<analysis::ChannelNoise> channels;
};

int RunAnalysisCommand(const std::string& command, const std::vector<std::string>& operands,
                       std::ostream& out, std::ostream& err, NoiseAnalysis* analysed = nullptr);

}  // namespace vexa::cli
