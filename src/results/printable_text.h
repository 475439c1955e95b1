#pragma once

// Stored text shown on a terminal or in a listing: whatever a record holds (a unit name from an
// older version, a path with a line break), it stays on its line and in its column, and no
// escape sequence reaches the terminal.

#include <string>

namespace vexa::results {

// Control characters as C escapes: tab "\t", line feed "\n", carriage return "\r", others
// "\xHH" (C1 controls in UTF-8 "\u00HH"); a backslash doubled, so an escape cannot be forged.
std::string PrintableText(const std::string& text);

}  // namespace vexa::results
