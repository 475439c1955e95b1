#include "analysis/log_file.h"

#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <sstream>
#include <string_view>

#include "analysis/log_file_lines.h"
#include "datalog/log_file_format.h"

namespace vexa::analysis {

namespace {

constexpr double kSecondsPerDay = 86400.0;

// What each channel of the log format measures, in the format's channel order (supply, three
// gyros, three accelerometers, three magnetometers, temperature, AUX_ADC); the titles and
// captions are the format's own (kLogChannels).
struct ChannelMeaning {
  ChannelKind kind;
  const char* units;
};
constexpr ChannelMeaning kMeanings[datalog::kChannelCount] = {
    {ChannelKind::Supply, "V"},     {ChannelKind::Gyro, "deg/sec"},  {ChannelKind::Gyro, "deg/sec"},
    {ChannelKind::Gyro, "deg/sec"}, {ChannelKind::Accel, "g"},       {ChannelKind::Accel, "g"},
    {ChannelKind::Accel, "g"},      {ChannelKind::Magn, "mgauss"},   {ChannelKind::Magn, "mgauss"},
    {ChannelKind::Magn, "mgauss"},  {ChannelKind::Temperature, "C"}, {ChannelKind::AuxAdc, "V"},
};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The fields of a line, as views into it (no copies: a log has millions of lines).
void splitInto(std::string_view line, char separator, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t start = 0;
  for (;;) {
    const size_t at = line.find(separator, start);
    if (at == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return;
    }
    fields.push_back(line.substr(start, at - start));
    start = at + 1;
  }
}

std::vector<std::string> split(std::string_view line, char separator) {
  std::vector<std::string_view> views;
  splitInto(line, separator, views);
  return std::vector<std::string>(views.begin(), views.end());
}

// Header lines carry one value; a spreadsheet that saved the file may add empty fields.
std::vector<std::string> headerFields(std::string_view line, char separator) {
  std::vector<std::string> fields = split(line, separator);
  while (fields.size() > 1 && fields.back().empty()) fields.pop_back();
  return fields;
}

bool isBlank(std::string_view line) {
  return std::all_of(line.begin(), line.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

using Failure = LogFailure;

bool isPartialName(const std::string& path);

// The number after the last '_' of the file's stem, with the rest of the name; -1 when none.
std::pair<std::string, long long> sessionKey(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // A stopped run's NAME_n.ext.partial is file n of its session.
  if (isPartialName(name)) name.resize(name.size() - kPartialSuffix.size());
  const size_t dot = name.find_last_of('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const size_t underscore = stem.find_last_of('_');
  if (underscore == std::string::npos || underscore + 1 >= stem.size()) return {path, -1};
  const std::string digits = stem.substr(underscore + 1);
  if (digits.size() > 12 || !std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      }))
    return {path, -1};
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  return {folder + stem.substr(0, underscore) + "_*" + ext, std::stoll(digits)};
}

bool parseNumber(std::string_view text, bool decimalComma, double& value) {
  if (text.empty() || text.size() > 64) return false;
  char buffer[65];
  size_t n = 0;
  bool point = false;
  for (char c : text) {
    if (c == ',' && decimalComma) c = '.';
    if (c == '.') {
      if (point) return false;
      point = true;
    } else if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == 'E' ||
                 c == 'e')) {
      return false;
    }
    buffer[n++] = c;
  }
  const char* begin = buffer;
  if (*begin == '+') ++begin;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(begin, buffer + n, v);
  if (ec != std::errc() || end != buffer + n || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool isPartialName(const std::string& path) {
  const std::string suffix(kPartialSuffix);
  return path.size() > suffix.size() &&
         path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// What reading one file found besides its samples.
struct FileRead {
  LogFileInfo info;
  bool allWhole = true;
  dev_t device = 0;
  ino_t inode = 0;
};

// The first lines up to the column titles; `lines` stands after them.
std::vector<std::string> readHeader(LogFileLines& lines, LogFileInfo& info) {
  std::string_view line;
  if (!lines.next(line)) throw Failure(0, "the file is empty");
  const std::string kFileName = "File Name";
  if (line.compare(0, kFileName.size(), kFileName) != 0 || line.size() <= kFileName.size() ||
      (line[kFileName.size()] != ',' && line[kFileName.size()] != '\t'))
    throw Failure(1,
                  "not a log file of this program: the first line must begin with \"File Name\""
                  " and a comma or a tab");
  const char d = line[kFileName.size()];
  info.separator = d;
  info.decimalComma = d == '\t';  // tabs are chosen where the decimal separator is a comma

  // `free`: the value is text that may hold the separator itself (a date or time form).
  const auto headerValue = [&](int64_t number, const char* name, bool free = false) {
    if (number > 1 && !lines.next(line))
      throw Failure(number,
                    std::string("the file ends before the \"") + name + "\" line (truncated)");
    const std::vector<std::string> f = headerFields(line, d);
    if (f.size() < 2 || (f.size() > 2 && !free) || f[0] != name)
      throw Failure(number, std::string("expected \"") + name + "\" and one value");
    std::string value = f[1];
    for (size_t k = 2; k < f.size(); ++k) value += d + f[k];
    return value;
  };
  info.fileName = headerValue(1, "File Name");
  info.date = headerValue(2, "Date", true);
  info.time = headerValue(3, "Time", true);
  const auto seconds = [&](int64_t number, const char* name) {
    const std::string text = headerValue(number, name);
    double v = 0.0;
    if (!ParseLogNumber(text, info.decimalComma, v) || v < 0.0 || v > kSecondsPerDay)
      throw Failure(number, std::string("\"") + name + "\" is not a time of day in seconds: \"" +
                                text + "\"");
    return v;
  };
  info.beginSeconds = seconds(4, "Begin Seconds");
  try {
    info.endSeconds = seconds(5, "End Seconds");
  } catch (const Failure&) {
    // A run that was stopped never wrote its end: the samples there are still good.
    if (!info.partial || lines.lineNumber() != 5 ||
        line.substr(0, 12) != std::string("End Seconds") + d)
      throw;
    info.endKnown = false;
  }
  // The writer fills a partial file's End Seconds with its Begin Seconds until the run ends.
  if (info.partial && info.endSeconds == info.beginSeconds) info.endKnown = false;
  if (!lines.next(line)) throw Failure(6, "the file ends before the column titles (truncated)");
  if (!isBlank(line)) throw Failure(6, "expected a blank line before the column titles");
  if (!lines.next(line)) throw Failure(7, "the file ends before the column titles (truncated)");
  std::vector<std::string> titles = split(line, d);
  if (titles.size() > 1 && titles.back().empty()) titles.pop_back();
  if (titles.empty() || titles[0] != datalog::kSampleNumberTitle)
    throw Failure(7, "the column titles must begin with \"Sample #\"");
  if (titles.size() < 3 || titles.size() % 2 != 1)
    throw Failure(7, "the column titles must come in pairs: new-data title, value title");
  return titles;
}

// Room for the samples still to come, guessed from the bytes left and the line length so far,
// so that the values are not copied again and again as they grow: pages reserved but never
// filled cost no memory.
void reserveAhead(std::vector<LogChannel>& channels, const LogFileLines& lines, int64_t dataStart,
                  int64_t read, int64_t bytesAfter) {
  const double perLine = double(lines.bytesConsumed() - dataStart) / double(read);
  const double left = double(lines.fileSize() - lines.bytesConsumed() + bytesAfter);
  const size_t have = channels[0].values.size();
  const size_t extra = std::max(size_t(std::max(left, 0.0) / perLine * 1.25) + 1024, have / 2);
  for (auto& ch : channels) {
    ch.values.reserve(have + extra);
    ch.newData.reserve(have + extra);
  }
}

// Reads one file and appends its samples to `into`, whose first file sets the columns.
// `bytesAfter`: the size of the files still to read after this one.
FileRead readFile(const std::string& path, LogRecord& into, int64_t bytesAfter) {
  FileRead r;
  r.info.path = path;
  r.info.partial = isPartialName(path);
  LogFileLines lines(path, r.info.partial);
  r.device = lines.device();
  r.inode = lines.inode();
  const std::vector<std::string> titles = readHeader(lines, r.info);
  const char d = r.info.separator;
  const size_t channelCount = (titles.size() - 1) / 2;
  if (into.files.empty()) {
    into.channels.assign(channelCount, LogChannel{});
    for (size_t c = 0; c < channelCount; ++c) {
      into.channels[c].newDataTitle = titles[1 + 2 * c];
      into.channels[c].title = titles[2 + 2 * c];
      if (into.channels[c].title.empty()) throw Failure(7, "a value column has no title");
      DescribeChannel(into.channels[c]);
    }
  } else {
    bool same = channelCount == into.channels.size();
    for (size_t c = 0; same && c < channelCount; ++c)
      same = into.channels[c].newDataTitle == titles[1 + 2 * c] &&
             into.channels[c].title == titles[2 + 2 * c];
    if (!same) throw Failure(7, "its columns differ from those of " + into.files[0].path);
  }

  const size_t fieldCount = titles.size();
  const int64_t dataStart = lines.bytesConsumed();
  std::vector<std::string_view> f;
  f.reserve(fieldCount + 2);
  std::vector<double> rowValues(channelCount);
  std::vector<uint8_t> rowFlags(channelCount);
  int64_t samples = 0;
  // Blank lines end the data (a cancelled run's unused lines); one before a sample is damage.
  std::optional<Failure> blank;
  std::string_view line;
  while (lines.next(line)) {
    const int64_t lineNo = lines.lineNumber();
    const auto fieldCountFailure = [&](size_t found, bool last) {
      std::ostringstream what;
      what << "expected " << fieldCount << " fields (sample number and " << channelCount
           << (channelCount == 1 ? " channel" : " channels") << "), found " << found
           << (last ? " (truncated?)" : "");
      return Failure(lineNo, what.str());
    };
    splitInto(line, d, f);
    if (f.size() == fieldCount + 1 && f.back().empty()) f.pop_back();
    if (isBlank(line)) {
      if (!blank) blank = fieldCountFailure(f.size(), false);
      continue;
    }
    if (blank) throw *blank;
    try {
      // Every data line ends with a separator; a last line without one was cut short.
      if (!lines.lineEnded() && line.back() != d)
        throw Failure(lineNo, "the file ends inside this line (truncated)");
      if (f.size() != fieldCount) {
        const size_t found = f.size();
        throw fieldCountFailure(found, lines.atEnd());
      }
      char expected[24];
      const auto e = std::to_chars(expected, expected + sizeof expected, samples + 1);
      if (f[0] != std::string_view(expected, size_t(e.ptr - expected)))
        throw Failure(lineNo, "sample number \"" + std::string(f[0]) + "\" where " +
                                  std::string(expected, e.ptr) +
                                  " was expected (lines missing, repeated or edited)");
      for (size_t c = 0; c < channelCount; ++c) {
        const std::string_view nd = f[1 + 2 * c];
        if (nd != "0" && nd != "1")
          throw Failure(lineNo, "new-data flag of \"" + into.channels[c].title + "\" is \"" +
                                    std::string(nd) + "\", not 0 or 1");
        if (!parseNumber(f[2 + 2 * c], r.info.decimalComma, rowValues[c]))
          throw Failure(lineNo, "value of \"" + into.channels[c].title + "\" is not a number: \"" +
                                    std::string(f[2 + 2 * c]) + "\"");
        rowFlags[c] = nd == "1" ? 1 : 0;
      }
    } catch (const Failure&) {
      // A stopped run's file may end inside the line it was writing: that line never was.
      if (r.info.partial && !lines.lineEnded()) {
        r.info.cutLineDropped = true;
        break;
      }
      throw;
    }
    if (samples >= 256 && into.channels[0].values.size() == into.channels[0].values.capacity())
      reserveAhead(into.channels, lines, dataStart, samples, bytesAfter);
    for (size_t c = 0; c < channelCount; ++c) {
      if (rowValues[c] != std::floor(rowValues[c])) r.allWhole = false;
      into.channels[c].values.push_back(rowValues[c]);
      into.channels[c].newData.push_back(rowFlags[c]);
    }
    ++samples;
  }
  if (samples == 0) throw Failure(8, "the file holds no samples");
  r.info.samples = samples;
  r.info.zeroTailAt = lines.zeroTailAt();
  r.info.zeroTailLine = lines.zeroTailLine();
  return r;
}

// Seconds between samples over the files whose end is known.
double intervalOf(const std::vector<LogFileInfo>& files) {
  double seconds = 0.0;
  int64_t samples = 0;
  for (const auto& f : files) {
    if (!f.endKnown) continue;
    seconds += SecondsBetween(f.beginSeconds, f.endSeconds);
    samples += f.samples;
  }
  return samples > 0 && seconds > 0.0 ? seconds / double(samples) : 0.0;
}

int64_t sizeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
}

// Reads `paths` in the order given and joins them.
bool readJoined(const std::vector<std::string>& paths, LogRecord& record, LogError& error) {
  std::vector<int64_t> sizes;
  int64_t bytesAfter = 0;
  for (const auto& p : paths) bytesAfter += sizes.emplace_back(sizeOf(p));
  LogRecord joined;
  std::vector<std::pair<dev_t, ino_t>> seen;
  bool allWhole = true;
  for (size_t i = 0; i < paths.size(); ++i) {
    bytesAfter -= sizes[i];
    error = LogError{paths[i], 0, ""};
    try {
      FileRead one = readFile(paths[i], joined, bytesAfter);
      const auto id = std::make_pair(one.device, one.inode);
      const auto twice = std::find(seen.begin(), seen.end(), id);
      if (twice != seen.end())
        throw Failure(0, "the same file as " + joined.files[size_t(twice - seen.begin())].path +
                             ", given twice");
      seen.push_back(id);
      allWhole = allWhole && one.allWhole;
      joined.files.push_back(one.info);
    } catch (const Failure& f) {
      error.line = f.line;
      error.what = f.what;
      return false;
    }
  }
  joined.sampleInterval = intervalOf(joined.files);
  // Scaled values are never all whole numbers over a record; raw register values always are.
  // Told by the whole session, not by one short file.
  joined.lsb = allWhole && joined.samples() > 1;
  if (joined.lsb)
    for (auto& ch : joined.channels) ch.units = "LSB";
  record = std::move(joined);
  return true;
}

}  // namespace

std::string LogError::message() const {
  std::ostringstream out;
  out << file;
  if (line > 0) out << ", line " << line;
  out << ": " << what;
  return out.str();
}

bool LogRecord::partial() const {
  return std::any_of(files.begin(), files.end(), [](const LogFileInfo& f) { return f.partial; });
}

int LogRecord::findChannel(const std::string& name) const {
  const std::string wanted = lower(name);
  for (size_t c = 0; c < channels.size(); ++c)
    if (lower(channels[c].title) == wanted) return int(c);
  for (size_t c = 0; c < channels.size(); ++c)
    if (!channels[c].caption.empty() && lower(channels[c].caption) == wanted) return int(c);
  for (size_t c = 0; c < channels.size(); ++c)
    if (lower(channels[c].newDataTitle) == wanted) return int(c);
  return -1;
}

void DescribeChannel(LogChannel& channel) {
  for (int c = 0; c < datalog::kChannelCount; ++c) {
    const datalog::LogChannel& format = datalog::kLogChannels[static_cast<size_t>(c)];
    if (channel.title == format.valueTitle) {
      channel.kind = kMeanings[c].kind;
      channel.units = kMeanings[c].units;
      channel.caption = format.caption;
      return;
    }
  }
  channel.kind = ChannelKind::Other;
  channel.units.clear();
  channel.caption.clear();
}

double SecondsBetween(double begin, double end) {
  const double d = end - begin;
  return d < 0.0 ? d + kSecondsPerDay : d;
}

bool ParseLogNumber(const std::string& text, bool decimalComma, double& value) {
  return parseNumber(text, decimalComma, value);
}

bool ReadLogFile(const std::string& path, LogRecord& record, LogError& error) {
  return readJoined({path}, record, error);
}

bool ReadLogFiles(std::vector<std::string> paths, LogRecord& record, LogError& error) {
  if (paths.empty()) {
    error = LogError{"", 0, "no file given"};
    return false;
  }
  // The files of one session go in order of their number (DATALOG_2 before DATALOG_10).
  const auto key0 = sessionKey(paths[0]);
  const bool oneSession = std::all_of(paths.begin(), paths.end(), [&](const std::string& p) {
    const auto k = sessionKey(p);
    return k.second >= 0 && k.first == key0.first;
  });
  if (oneSession) {
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
      return sessionKey(a).second < sessionKey(b).second;
    });
    // A session is one record only when whole: a missing file would join samples minutes
    // apart as neighbours, a repeated one would count its samples twice.
    for (size_t i = 1; i < paths.size(); ++i) {
      const long long before = sessionKey(paths[i - 1]).second;
      const long long n = sessionKey(paths[i]).second;
      if (n == before) {
        error = LogError{paths[i], 0,
                         "file " + std::to_string(n) + " of the session is given twice (also as " +
                             paths[i - 1] + ")"};
        return false;
      }
      if (n != before + 1) {
        error = LogError{paths[i], 0,
                         "the session has a gap: file " + std::to_string(before + 1) +
                             (n > before + 2 ? " to " + std::to_string(n - 1) : std::string()) +
                             " is not given (after " + paths[i - 1] + ")"};
        return false;
      }
    }
  }
  return readJoined(paths, record, error);
}

}  // namespace vexa::analysis
