#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datalog/log_file_format.h"

namespace vexa::analysis {

// What a channel of a log file measures, found from its column title.
enum class ChannelKind { Supply, Gyro, Accel, Magn, Temperature, AuxAdc, Other };

// One logged output: the value column and its new-data column.
struct LogChannel {
  std::string title;         // value column title, as written ("X Gryo", "Y Gyro", ...)
  std::string newDataTitle;  // "XgND", ...
  std::string caption;       // the data-selection caption ("X Gyro"), empty when unknown
  ChannelKind kind = ChannelKind::Other;
  std::string units;  // "deg/sec", "g", "mgauss", "V", "C", "LSB" or empty when unknown
  std::vector<double> values;
  std::vector<uint8_t> newData;  // 1 when the sample was fresh when read
};

// One file's header.
struct LogFileInfo {
  std::string path;
  std::string fileName;  // as line 1 names it
  std::string date;
  std::string time;
  double beginSeconds = 0.0;
  double endSeconds = 0.0;
  int64_t samples = 0;
  char separator = ',';
  bool decimalComma = false;
  // A stopped run's file (NAME_n.ext.partial): its end may be missing, its cut last line is
  // left out.
  bool partial = false;
  bool endKnown = true;         // End Seconds was written (always, unless partial)
  bool cutLineDropped = false;  // the last line was cut short and is not among the samples
  // A stopped run's file that ends in NUL bytes (blocks a power cut left unwritten) is read up
  // to them: the byte where they begin and its line; -1 and 0 when there are none.
  int64_t zeroTailAt = -1;
  int64_t zeroTailLine = 0;
};

// The ending a stopped log run leaves on a file's name, as the log writer names it.
using datalog::kPartialSuffix;

// One file, or the files of one session joined in order.
struct LogRecord {
  std::vector<LogFileInfo> files;
  std::vector<LogChannel> channels;
  bool lsb = false;  // raw register values rather than scaled units
  // Seconds between samples: (end - begin) over the samples of all files, midnight passed
  // through; 0 when the files cannot tell (too short for the clock's resolution).
  double sampleInterval = 0.0;

  int64_t samples() const { return channels.empty() ? 0 : int64_t(channels[0].values.size()); }
  // Some file is a stopped run's.
  bool partial() const;
  // The channel whose value title, data-selection caption or new-data title is `name` (case
  // aside), in that order of preference; -1 when there is none.
  int findChannel(const std::string& name) const;
};

// Why a file could not be read: which file, which line (1-based, 0 for the file as a whole).
struct LogError {
  std::string file;
  int64_t line = 0;
  std::string what;
  std::string message() const;  // "FILE, line N: what"
};

// Reads one log file, in a stream: the memory held is that of the values. False with `error` set
// when the file is missing, not a regular file, not a log file of this program, or damaged
// (truncated, hand-edited, a NUL byte); a damaged file is never read in part. A stopped run's
// NAME_n.ext.partial is read with its cut last line left out.
bool ReadLogFile(const std::string& path, LogRecord& record, LogError& error);

// Reads the files of one session and joins them: files named NAME_n.ext (or .ext.partial) go in
// order of n, without a gap or a repeat in n; all must carry the same columns in the same units,
// and no file may be given twice.
bool ReadLogFiles(std::vector<std::string> paths, LogRecord& record, LogError& error);

// Reads a number written by the log in either regional form: decimal point, or decimal comma
// when `decimalComma`; exponent form "1E-05" too. False for anything else.
bool ParseLogNumber(const std::string& text, bool decimalComma, double& value);

// Seconds from `begin` to `end` on a clock of seconds since midnight (an end before the begin has
// passed midnight).
double SecondsBetween(double begin, double end);

// Units and kind of a channel by its value title; empty units when the title is unknown.
void DescribeChannel(LogChannel& channel);

}  // namespace vexa::analysis
