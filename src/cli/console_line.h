#pragma once

#include <string>

namespace vexa::cli {

// A message written for a message box (lines ended by CR LF, blank lines between paragraphs)
// as one line for standard error: each line trimmed, blank ones dropped, and the rest joined
// with ". " (or a space where a line already ends in punctuation).
std::string ConsoleLine(const std::string& text);

}  // namespace vexa::cli
