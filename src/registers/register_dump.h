#pragma once

#include <string>
#include <vector>

#include "app/app_context.h"

namespace vexa {

// The register dump shown by the register information window and printed by `vexa-cli dump`,
// line by line (no line ends): two heading lines and one line per row 0..LastRegisterIndex,
// each row read first. A row that cannot be read and is not hidden (COMMAND) shows 0x0000 and
// 0.0, like a hidden one, rather than the values of the row read before it.
std::vector<std::string> RegisterDumpLines(AppContext& ctx);

}  // namespace vexa
