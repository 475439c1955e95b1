#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

#include "app/app_context.h"

namespace vexa {

constexpr const char* kSettingsFileName = "CommPort.cfg";
// Longest field (line) and file the reader takes: an over-long field is a bad line, a larger
// file is not read at all.
constexpr size_t kMaxSettingsFieldLength = 256;
constexpr size_t kMaxSettingsFileBytes = 64 * 1024;

// Reads CommPort.cfg from the working folder into the four settings. A missing file changes
// nothing; a bad line is skipped (and named in the diagnostics), the lines around it are read. A
// file that cannot be read for another reason (not a regular file, too large, no permission)
// changes nothing either, and its cause goes to the diagnostics.
void ReadSettings(AppContext& ctx);
// Writes the four settings to a temporary file beside CommPort.cfg and renames it over the old
// one once every write and the close have succeeded. On failure the old file stays, the cause
// goes to the diagnostics, and the result is false.
bool WriteSettings(AppContext& ctx);

// The bytes of the settings file at `path`: true with empty text when there is none; false with
// a one-line cause when it is not a regular file, larger than kMaxSettingsFileBytes or unreadable.
bool ReadSettingsText(const std::string& path, std::string& text, std::string& cause);

// The reading rule on a stream of fields, and the file's text; for the two above and tests.
// `problem`, when given, receives why a line was not used: the first line that ended the read
// (no "=", a value that is not a 16-bit number; the lines after it are still read) or else the
// first key that is none of the four
// (such as "Interfac" from "Interface=2" without blanks).
void ReadSettingsFields(std::istream& in, Settings& settings, std::string* problem = nullptr);
std::string SettingsFileText(const Settings& settings);

}  // namespace vexa
