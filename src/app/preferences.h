#pragma once

#include "app/app_context.h"

namespace vexa {

// The program's own settings file (ProgramSettings::kFileName) in the working folder, beside
// CommPort.cfg. Read at start-up and written when the program ends; a failure is reported to
// the diagnostics and changes nothing else.
void ReadPreferences(AppContext& ctx);
void WritePreferences(AppContext& ctx);

}  // namespace vexa
