#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/app_context.h"

namespace vexa {

// The register dump shown by the register information window and printed by `vexa-cli dump`,
// line by line (no line ends): two heading lines and one line per row 0..LastRegisterIndex,
// each row read first. A row that cannot be read and is not hidden (COMMAND) shows 0x0000 and
// 0.0, like a hidden one, rather than the values of the row read before it.
// `failed`, when given, is asked after each row's read: once it says a transfer failed, the
// lines stop before that row, so no value read after a failure is shown.
std::vector<std::string> RegisterDumpLines(AppContext& ctx,
                                           const std::function<bool()>& failed = {});

}  // namespace vexa
