#pragma once

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace vexa::testing {

// Log files as the datalog writes them, for reader tests: seven header lines, then one line per
// sample, CR LF, a separator after every field from line 7 on.
struct LogColumn {
  std::string newDataTitle;
  std::string title;
  std::vector<double> values;
  std::vector<int> newData;  // empty: all 1
};

inline std::string LogNumber(double v, bool decimalComma) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.7g", v);
  std::string s = buffer;
  if (decimalComma)
    for (char& c : s)
      if (c == '.') c = ',';
  return s;
}

inline std::string LogText(const std::string& fileName, const std::vector<LogColumn>& columns,
                           double begin, double end, bool decimalComma = false) {
  const std::string d = decimalComma ? "\t" : ",";
  const std::string eol = "\r\n";
  std::string t = "File Name" + d + fileName + eol + "Date" + d + "12/6/2026" + eol + "Time" + d +
                  "1:17:39 PM" + eol + "Begin Seconds" + d + LogNumber(begin, decimalComma) + eol +
                  "End Seconds" + d + LogNumber(end, decimalComma) + eol + " " + eol + "Sample #" +
                  d;
  for (const auto& c : columns) t += c.newDataTitle + d + c.title + d;
  t += eol;
  const size_t n = columns.empty() ? 0 : columns[0].values.size();
  for (size_t s = 0; s < n; ++s) {
    t += std::to_string(s + 1) + d;
    for (const auto& c : columns)
      t += std::string(c.newData.empty() || c.newData[s] ? "1" : "0") + d +
           LogNumber(c.values[s], decimalComma) + d;
    t += eol;
  }
  return t;
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace vexa::testing
