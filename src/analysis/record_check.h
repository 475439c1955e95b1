#pragma once

#include <string>
#include <vector>

#include "analysis/allan_deviation.h"
#include "analysis/log_file.h"

namespace vexa::analysis {

// Why a record is not one of a sensor at rest. A noise analysis of such a record gives figures
// many times the sensor's own (a turn reads as a random walk, a step as a rate random walk), so
// the analyses refuse it unless told to go on, and then mark every figure "record not still".
enum class RecordFault {
  Constant,     // the values do not change: a stuck or idle channel
  Motion,       // a turn or a shock: the level leaves and comes back, or the curve rises steeply
  Rocking,      // a back-and-forth motion: the curve rises and falls again
  FarFromBias,  // a gyro's mean far beyond any bias: a turning table
  Step,         // the mean jumps and stays
  Gap,          // time missing between two of the session's files
};

struct RecordFinding {
  RecordFault fault;
  std::string channel;  // the channel's caption (empty for the record as a whole: a gap)
  std::string reason;   // in the words the command line, the viewer and Python show
};

// The mark a figure from a record that failed the check carries.
constexpr const char* kRecordNotStill = "record not still";

// The record's own faults (gaps between its files, from their begin and end seconds).
std::vector<RecordFinding> CheckRecordFiles(const LogRecord& record);

// One channel's faults: `values` every `tau0` seconds, `curve` their Allan deviation (may be
// empty), `units` as the log gives them.
std::vector<RecordFinding> CheckChannelStill(const std::vector<double>& values, double tau0,
                                             const std::vector<AllanPoint>& curve,
                                             const std::string& units, const std::string& caption);

// The name a channel goes by in every output: its caption when the log reader knows it, else the
// file's column title.
std::string ChannelName(const LogChannel& channel);

}  // namespace vexa::analysis
