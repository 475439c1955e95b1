#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace vexa::testing {

// A text file's lines, without their line ends (LF or CR LF).
inline std::vector<std::string> fileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

}  // namespace vexa::testing
