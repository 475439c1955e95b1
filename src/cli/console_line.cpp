#include "cli/console_line.h"

#include <sstream>

namespace vexa::cli {

std::string ConsoleLine(const std::string& text) {
  std::string line;
  std::string piece;
  std::istringstream in(text);
  while (std::getline(in, piece)) {
    const size_t first = piece.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    piece = piece.substr(first, piece.find_last_not_of(" \t\r") - first + 1);
    if (!line.empty())
      line += std::string(".:!?").find(line.back()) == std::string::npos ? ". " : " ";
    line += piece;
  }
  return line;
}

std::string CutLongFields(const std::string& line) {
  // Counted in characters: the continuation bytes of a UTF-8 character go with their first.
  const auto continues = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
  std::string cut;
  size_t run = 0;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\n')
      run = 0;
    else if (!continues(c))
      ++run;
    if (run == kLongestEchoedField + 1 && !continues(c)) cut += "...";
    if (run <= kLongestEchoedField) cut += c;
  }
  if (cut.size() > kLongestErrorLine) {
    size_t end = kLongestErrorLine;
    while (end > 0 && continues(cut[end])) --end;
    cut = cut.substr(0, end) + "...";
  }
  return cut;
}

}  // namespace vexa::cli
