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

// One row of the dump as values: name ("reserved" for a hidden row, else the label without
// trailing blanks), address, and the raw and scaled value (0 and 0.0 for a row that cannot be
// read). The lines above are these rows in text.
struct RegisterDumpRow {
  int16_t index = 0;
  std::string name;
  int32_t address = 0;
  int32_t raw = 0;
  double scaled = 0.0;
};
std::vector<RegisterDumpRow> RegisterDumpRows(AppContext& ctx,
                                              const std::function<bool()>& failed = {});
// The dump's lines for rows already read: the two headings, then one line per row given.
std::vector<std::string> RegisterDumpLines(const std::vector<RegisterDumpRow>& rows);

}  // namespace vexa
