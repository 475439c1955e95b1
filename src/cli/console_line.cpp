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

}  // namespace vexa::cli
