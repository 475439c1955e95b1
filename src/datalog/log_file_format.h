#pragma once

// The log file format, in one place: whatever writes or reads log files takes its pieces from
// here.
//
//   line 1   "File Name" D <file name>_<n><E>       (the file's own name, no folder)
//   line 2   "Date" D <short date>                  (taken when the header is written)
//   line 3   "Time" D <time of day>                 (the same moment)
//   line 4   "Begin Seconds" D <seconds since midnight before the first sample>
//   line 5   "End Seconds" D <seconds since midnight after the last sample>
//   line 6   " "                                    (one blank)
//   line 7   "Sample #" D, then per selected channel: <new-data title> D <value title> D
//   line 8.. <s> D, then per selected channel: <0|1> D <value> D
//
// Every line ends with CR LF; header and data lines end with D before it. Channels appear in
// register-table order (SUPPLY_OUT .. AUX_ADC), whatever order they were chosen in.
//
// D and E follow the regional number form: where 1.2 is written with a decimal comma, D is TAB
// and E ".txt", elsewhere D is "," and E ".csv".
//
// Numbers: sample numbers and file numbers plain decimal; the new-data flag "1" or "0"; raw
// (LSB) values signed decimal; scaled values and the seconds in the general form of a
// single-precision number: at most 7 significant digits, no trailing zeros, the regional
// decimal separator when it is a point or a comma (else a point), fixed notation from 0.0001 to
// 9999999 and exponent notation outside it
// ("1E-05", "1.234568E+07").

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <QLocale>

#include "datalog/log_sample.h"

namespace vexa::datalog {

constexpr int kChannelCount = 12;

// A channel: the output register it logs, the caption of its box in the datalog window, its
// column titles, spelled as the files have always carried them.
struct LogChannel {
  int16_t registerIndex;
  const char* caption;
  const char* newDataTitle;
  const char* valueTitle;
};

// Index 0 is channel 1 (SUPPLY_OUT, register index 1) ... index 11 is AUX_ADC.
inline constexpr std::array<LogChannel, kChannelCount> kLogChannels = {{
    {1, "Power Supply", "PvND", "Power V"},
    {2, "X Gyro", "XgND", "X Gryo"},
    {3, "Y Gyro", "YgND", "Y Gyro"},
    {4, "Z Gyro", "ZgND", "Z Gyro"},
    {5, "X Accel", "XaND", "X acc"},
    {6, "Y Accel", "YaND", "Y acc"},
    {7, "Z Accel", "ZaND", "Z acc"},
    {8, "X Magn", "XmND", "X Magn"},
    {9, "Y Magn", "YmND", "Y Magn"},
    {10, "Z Magn", "ZmND", "Z Mag"},
    {11, "Temperature", "TND", "Temp"},
    {12, "AUX_ADC", "AaND", "Aux ADC"},
}};

// The channel of an output register index (1..12); nullptr for any other index.
const LogChannel* ChannelOfRegister(int16_t registerIndex);

inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr std::string_view kFileNameLabel = "File Name";
inline constexpr std::string_view kDateLabel = "Date";
inline constexpr std::string_view kTimeLabel = "Time";
inline constexpr std::string_view kBeginSecondsLabel = "Begin Seconds";
inline constexpr std::string_view kEndSecondsLabel = "End Seconds";
inline constexpr std::string_view kBlankLine = " ";
inline constexpr std::string_view kSampleNumberTitle = "Sample #";
inline constexpr int kHeaderLineCount = 7;  // data lines start at line 8

inline constexpr char kCommaSeparator = ',';
inline constexpr char kTabSeparator = '\t';
inline constexpr std::string_view kCsvExtension = ".csv";
inline constexpr std::string_view kTxtExtension = ".txt";
inline constexpr std::string_view kFileNumberJoin = "_";  // DATALOG + "_" + 1 + ".csv"
// A file still being filled, or left by a run that was killed: its own name and this. It holds
// a complete header whose End Seconds repeat its Begin Seconds (the end was not known when it
// was written) and whose date and time are those of its start, then whole data lines, except
// that the last line may lack its end when the run was killed while writing it. A run killed
// while publishing may leave it with its complete header (the end's seconds, date and time).
inline constexpr std::string_view kPartialSuffix = ".partial";
inline constexpr char kNewDataSet = '1';
inline constexpr char kNewDataClear = '0';
inline constexpr int32_t kNewDataBit = 32768;

enum class LogUnits { Scaled, Lsb };

// Separator, extension and decimal separator of one regional number form.
struct LogFormat {
  char separator = kCommaSeparator;
  std::string extension{kCsvExtension};
  std::string decimalPoint = ".";

  static LogFormat forLocale(const QLocale& locale);
};

// "DATALOG" and 3 give "DATALOG_3.csv" (or ".txt").
std::string LogFileName(const std::string& name, int64_t fileNumber, const LogFormat& format);

// What the header block says besides the column titles.
struct LogHeader {
  std::string fileName;  // LogFileName(...)
  std::string date;
  std::string time;
  float beginSeconds = 0;
  float endSeconds = 0;
};

// Lines 1 to 7, each with its line end.
std::string HeaderBlock(const LogHeader& header, const ChannelList& channels,
                        const LogFormat& format);

// Writes the data lines of a run. The general forms of the values met recently are remembered
// (a sensor at rest gives the same few values again and again), so a line costs little more
// than copying it.
class SampleLineWriter {
 public:
  explicit SampleLineWriter(LogFormat format);
  // Appends one data line with its line end: the sample number, then flag and value per
  // reading.
  void append(std::string& line, int64_t sampleNumber, const SampleValues& readings,
              LogUnits units);

 private:
  struct Entry {
    uint32_t bits = 0;
    uint8_t length = 0;  // 0: empty
    char text[19] = {};
  };
  static constexpr size_t kEntries = 4096;
  void appendScaled(std::string& line, float value);

  LogFormat format_;
  std::vector<Entry> recent_;
};

// The general form of a single-precision number, appended.
void AppendGeneral(std::string& out, float value, const LogFormat& format);

}  // namespace vexa::datalog
