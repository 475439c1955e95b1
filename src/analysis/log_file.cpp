#include "analysis/log_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>

namespace vexa::analysis {

namespace {

constexpr double kSecondsPerDay = 86400.0;

struct KnownColumn {
  const char* newData;
  const char* title;
  const char* caption;
  ChannelKind kind;
  const char* units;
};

// The logged outputs in data-selection order.
constexpr KnownColumn kKnownColumns[] = {
    {"PvND", "Power V", "Power Supply", ChannelKind::Supply, "V"},
    {"XgND", "X Gryo", "X Gyro", ChannelKind::Gyro, "deg/sec"},
    {"YgND", "Y Gyro", "Y Gyro", ChannelKind::Gyro, "deg/sec"},
    {"ZgND", "Z Gyro", "Z Gyro", ChannelKind::Gyro, "deg/sec"},
    {"XaND", "X acc", "X Accel", ChannelKind::Accel, "g"},
    {"YaND", "Y acc", "Y Accel", ChannelKind::Accel, "g"},
    {"ZaND", "Z acc", "Z Accel", ChannelKind::Accel, "g"},
    {"XmND", "X Magn", "X Magn", ChannelKind::Magn, "mgauss"},
    {"YmND", "Y Magn", "Y Magn", ChannelKind::Magn, "mgauss"},
    {"ZmND", "Z Mag", "Z Magn", ChannelKind::Magn, "mgauss"},
    {"TND", "Temp", "Temperature", ChannelKind::Temperature, "C"},
    {"AaND", "Aux ADC", "AUX_ADC", ChannelKind::AuxAdc, "V"},
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

class Failure {
 public:
  Failure(int64_t line, std::string what) : line(line), what(std::move(what)) {}
  int64_t line;
  std::string what;
};

// The number after the last '_' of the file's stem, with the rest of the name; -1 when none.
std::pair<std::string, long long> sessionKey(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
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

void parseFile(const std::string& text, LogRecord& record) {
  // Lines end in CR LF; a bare LF (an editor's) is taken as well.
  std::vector<std::string_view> lines;
  {
    const std::string_view all(text);
    size_t start = 0;
    while (start < all.size()) {
      size_t end = all.find('\n', start);
      const size_t next = end == std::string_view::npos ? all.size() : end + 1;
      if (end == std::string_view::npos) end = all.size();
      std::string_view line = all.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.push_back(line);
      start = next;
    }
  }
  if (text.find('\0') != std::string::npos) throw Failure(0, "not a text file");
  if (lines.empty()) throw Failure(0, "the file is empty");
  const bool lastLineEnded = text.back() == '\n';

  LogFileInfo info;
  const std::string_view first = lines[0];
  const std::string kFileName = "File Name";
  if (first.compare(0, kFileName.size(), kFileName) != 0 || first.size() <= kFileName.size() ||
      (first[kFileName.size()] != ',' && first[kFileName.size()] != '\t'))
    throw Failure(1,
                  "not a log file of this program: the first line must begin with \"File Name\""
                  " and a comma or a tab");
  const char d = first[kFileName.size()];
  info.separator = d;
  info.decimalComma = d == '\t';  // tabs are chosen where the decimal separator is a comma

  // `free`: the value is text that may hold the separator itself (a date or time form).
  const auto headerValue = [&](size_t index, const char* name, bool free = false) {
    if (index >= lines.size())
      throw Failure(int64_t(index) + 1,
                    std::string("the file ends before the \"") + name + "\" line (truncated)");
    const std::vector<std::string> f = headerFields(lines[index], d);
    if (f.size() < 2 || (f.size() > 2 && !free) || f[0] != name)
      throw Failure(int64_t(index) + 1, std::string("expected \"") + name + "\" and one value");
    std::string value = f[1];
    for (size_t k = 2; k < f.size(); ++k) value += d + f[k];
    return value;
  };
  info.fileName = headerValue(0, "File Name");
  info.date = headerValue(1, "Date", true);
  info.time = headerValue(2, "Time", true);
  const auto seconds = [&](size_t index, const char* name) {
    const std::string text = headerValue(index, name);
    double v = 0.0;
    if (!ParseLogNumber(text, info.decimalComma, v) || v < 0.0 || v > kSecondsPerDay)
      throw Failure(int64_t(index) + 1, std::string("\"") + name +
                                            "\" is not a time of day in seconds: \"" + text + "\"");
    return v;
  };
  info.beginSeconds = seconds(3, "Begin Seconds");
  info.endSeconds = seconds(4, "End Seconds");
  if (lines.size() < 6) throw Failure(6, "the file ends before the column titles (truncated)");
  if (!isBlank(lines[5])) throw Failure(6, "expected a blank line before the column titles");
  if (lines.size() < 7) throw Failure(7, "the file ends before the column titles (truncated)");

  std::vector<std::string> titles = split(lines[6], d);
  if (titles.size() > 1 && titles.back().empty()) titles.pop_back();
  if (titles.empty() || titles[0] != "Sample #")
    throw Failure(7, "the column titles must begin with \"Sample #\"");
  if (titles.size() < 3 || titles.size() % 2 != 1)
    throw Failure(7, "the column titles must come in pairs: new-data title, value title");
  std::vector<LogChannel> channels((titles.size() - 1) / 2);
  for (size_t c = 0; c < channels.size(); ++c) {
    channels[c].newDataTitle = titles[1 + 2 * c];
    channels[c].title = titles[2 + 2 * c];
    if (channels[c].title.empty()) throw Failure(7, "a value column has no title");
    DescribeChannel(channels[c]);
  }

  // Trailing blank lines (a cancelled run's unused lines) end the data.
  size_t last = lines.size();
  while (last > 7 && isBlank(lines[last - 1])) --last;
  const size_t fieldCount = titles.size();
  std::vector<std::string_view> f;
  f.reserve(fieldCount + 2);
  for (auto& ch : channels) {
    ch.values.reserve(last - 7);
    ch.newData.reserve(last - 7);
  }
  bool allWhole = true;
  for (size_t i = 7; i < last; ++i) {
    const int64_t lineNo = int64_t(i) + 1;
    // Every data line ends with a separator; a last line without one was cut short.
    if (i + 1 == lines.size() && !lastLineEnded && lines[i].back() != d)
      throw Failure(lineNo, "the file ends inside this line (truncated)");
    splitInto(lines[i], d, f);
    if (f.size() == fieldCount + 1 && f.back().empty()) f.pop_back();
    if (f.size() != fieldCount) {
      std::ostringstream what;
      what << "expected " << fieldCount << " fields (sample number and " << channels.size()
           << (channels.size() == 1 ? " channel" : " channels") << "), found " << f.size()
           << (i + 1 == lines.size() ? " (truncated?)" : "");
      throw Failure(lineNo, what.str());
    }
    const int64_t expected = int64_t(i) - 6;
    if (f[0] != std::to_string(expected))
      throw Failure(lineNo, "sample number \"" + std::string(f[0]) + "\" where " +
                                std::to_string(expected) +
                                " was expected (lines missing, repeated or edited)");
    for (size_t c = 0; c < channels.size(); ++c) {
      const std::string_view nd = f[1 + 2 * c];
      if (nd != "0" && nd != "1")
        throw Failure(lineNo, "new-data flag of \"" + channels[c].title + "\" is \"" +
                                  std::string(nd) + "\", not 0 or 1");
      double v = 0.0;
      if (!parseNumber(f[2 + 2 * c], info.decimalComma, v))
        throw Failure(lineNo, "value of \"" + channels[c].title + "\" is not a number: \"" +
                                  std::string(f[2 + 2 * c]) + "\"");
      if (v != std::floor(v)) allWhole = false;
      channels[c].values.push_back(v);
      channels[c].newData.push_back(nd == "1" ? 1 : 0);
    }
  }
  if (last == 7) throw Failure(8, "the file holds no samples");
  info.samples = int64_t(last - 7);

  // Scaled values are never all whole numbers over a record; raw register values always are.
  record.lsb = allWhole && info.samples > 1;
  if (record.lsb)
    for (auto& ch : channels) ch.units = "LSB";
  record.files.push_back(info);
  record.channels = std::move(channels);
}

double intervalOf(const std::vector<LogFileInfo>& files) {
  double seconds = 0.0;
  int64_t samples = 0;
  for (const auto& f : files) {
    seconds += SecondsBetween(f.beginSeconds, f.endSeconds);
    samples += f.samples;
  }
  return samples > 0 && seconds > 0.0 ? seconds / double(samples) : 0.0;
}

}  // namespace

std::string LogError::message() const {
  std::ostringstream out;
  out << file;
  if (line > 0) out << ", line " << line;
  out << ": " << what;
  return out.str();
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
  for (const auto& k : kKnownColumns) {
    if (channel.title == k.title) {
      channel.kind = k.kind;
      channel.units = k.units;
      channel.caption = k.caption;
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
  error = LogError{path, 0, ""};
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error.what = "cannot open the file";
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    error.what = "cannot read the file";
    return false;
  }
  LogRecord r;
  try {
    parseFile(content.str(), r);
  } catch (const Failure& f) {
    error.line = f.line;
    error.what = f.what;
    return false;
  }
  r.files.back().path = path;
  r.sampleInterval = intervalOf(r.files);
  record = std::move(r);
  return true;
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
  if (oneSession)
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
      return sessionKey(a).second < sessionKey(b).second;
    });

  LogRecord joined;
  for (const auto& path : paths) {
    LogRecord one;
    if (!ReadLogFile(path, one, error)) return false;
    if (joined.files.empty()) {
      joined = std::move(one);
      continue;
    }
    bool same = one.channels.size() == joined.channels.size();
    for (size_t c = 0; same && c < one.channels.size(); ++c)
      same = one.channels[c].title == joined.channels[c].title &&
             one.channels[c].newDataTitle == joined.channels[c].newDataTitle;
    if (!same) {
      error = LogError{path, 7, "its columns differ from those of " + joined.files[0].path};
      return false;
    }
    for (size_t c = 0; c < one.channels.size(); ++c) {
      auto& to = joined.channels[c];
      auto& from = one.channels[c];
      to.values.insert(to.values.end(), from.values.begin(), from.values.end());
      to.newData.insert(to.newData.end(), from.newData.begin(), from.newData.end());
    }
    joined.files.push_back(one.files[0]);
  }
  joined.sampleInterval = intervalOf(joined.files);
  // Raw values or scaled units: told by the whole session, not by one short file.
  joined.lsb = joined.samples() > 1;
  for (const auto& ch : joined.channels)
    for (double v : ch.values)
      if (v != std::floor(v)) joined.lsb = false;
  for (auto& ch : joined.channels) {
    DescribeChannel(ch);
    if (joined.lsb) ch.units = "LSB";
  }
  record = std::move(joined);
  return true;
}

}  // namespace vexa::analysis
