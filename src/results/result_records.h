#pragma once

// What the results store keeps: plain structs, filled by the program's edges (a log run that
// ended, a calibration write, a noise analysis) and read back by the queries. Times are UTC in
// ISO 8601 ("2026-12-07T14:10:35.123Z"), so text order is time order on both engines.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vexa::results {

// The module: the name the user gave it (its label, say) and the product number it reported.
// Without a name the product number is the name ("PROD 16488").
struct UnitRecord {
  std::string name;
  std::string product;
};

// A file a record names: where it was (absolute, on the bench `host` of its record), how long
// it was and its SHA-256 (lower-case hex), so whoever opens it later can tell it changed.
struct RunFile {
  std::string path;
  int64_t bytes = -1;  // -1: the file could not be measured
  std::string sha256;  // empty: not known (the file could not be read, or an older record)
};

struct LogRunRecord {
  std::string id;  // made when the record is, so a record sent twice is kept once
  UnitRecord unit;
  std::string bench;  // host name, or the bench setting
  std::string host;   // the machine's host name, where the files are
  std::string started;
  std::string ended;
  std::string interfaceName;  // "parallel", "usb", "ftdi", "spidev"
  std::string settings;       // "delay=0 units=scaled sampling=pipelined ..."
  std::vector<std::string> channels;
  double samplesPerFile = 0;  // S
  double files = 0;           // F
  int64_t samplesTaken = 0;
  std::string outcome;  // "completed", "cancelled", "open failed", ...
  std::vector<RunFile> filesWritten;
};

struct RegisterChange {
  std::string label;
  int32_t before = 0;
  int32_t after = 0;
};

// The writes that change what the module keeps. Each is named apart in the history, so an
// engineer can tell a correction applied from one taken back, and the long null from the short.
enum class CalibrationKind {
  MagnetometerApply,
  MagnetometerRevert,
  AutoNull,
  PrecisionAutoNull,
  FactoryRestore,
  FlashUpdate,
  AccelerometerAssistant
};
const char* CalibrationKindName(CalibrationKind kind);
bool CalibrationKindFromName(const std::string& name, CalibrationKind& kind);

struct CalibrationRecord {
  std::string id;
  UnitRecord unit;
  std::string bench;
  std::string at;
  CalibrationKind kind = CalibrationKind::MagnetometerApply;
  std::vector<RegisterChange> registers;
};

// One noise term of one channel ("B", "N", "K" or any name the fit gives).
struct FigureTerm {
  double value = 0;
  double sigma = 0;
  std::string unit;       // of value and sigma, "deg/h"
  bool resolved = false;  // false: the record was too short or the term is hidden by another
};

// The figures of one channel: its column title ("X Gryo", as the files spell it), its kind
// ("gyro", "accel"), its terms, and its caption ("X Gyro", as the datalog window names it;
// empty when the title is not one of the logged outputs').
struct ChannelFigures {
  std::string title;
  std::string kind;
  std::map<std::string, FigureTerm> terms;
  std::string caption;
};

struct NoiseRecord {
  std::string id;
  UnitRecord unit;
  std::string bench;
  std::string at;
  std::string source;  // the record the figures came from: a run's id or its files
  std::vector<ChannelFigures> channels;
  std::string host;            // the machine's host name, where the files are
  std::vector<RunFile> files;  // the files analysed
};

// One figure's name across units: "TITLE/TERM", such as "X Gyro/B".
std::string FigureName(const std::string& title, const std::string& term);
bool SplitFigureName(const std::string& name, std::string& title, std::string& term);

// A unit's name is one line of printable text: a control character (a line break, a tab, an
// escape sequence) could forge lines or columns wherever the name is shown. False with why.
bool CheckUnitName(const std::string& name, std::string& error);

}  // namespace vexa::results
