#pragma once

#include <iosfwd>
#include <string>

#include "app/app_context.h"

namespace vexa {

constexpr const char* kSettingsFileName = "CommPort.cfg";

// Reads CommPort.cfg from the working folder into the four settings. A missing file changes
// nothing; the first bad field ends the read, keeping what was read before it.
void ReadSettings(AppContext& ctx);
// Creates or truncates CommPort.cfg and writes the four settings. Errors are ignored.
void WriteSettings(AppContext& ctx);

// The reading rule on a stream of fields, and the file's text; for the two above and tests.
void ReadSettingsFields(std::istream& in, Settings& settings);
std::string SettingsFileText(const Settings& settings);

}  // namespace vexa
