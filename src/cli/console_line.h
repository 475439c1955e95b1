#pragma once

#include <string>

namespace vexa::cli {

// A message written for a message box (lines ended by CR LF, blank lines between paragraphs)
// as one line for standard error: each line trimmed, blank ones dropped, and the rest joined
// with ". " (or a space where a line already ends in punctuation).
std::string ConsoleLine(const std::string& text);

// Longest run of non-blank characters an error line repeats whole: a value typed or read that
// is longer is cut to this many characters and "...", so that a huge field cannot make a huge
// error line.
constexpr size_t kLongestEchoedField = 80;
// Longest error line, for blanks between many short fields.
constexpr size_t kLongestErrorLine = 1000;
std::string CutLongFields(const std::string& line);

}  // namespace vexa::cli
