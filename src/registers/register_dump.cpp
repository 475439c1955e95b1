#include "registers/register_dump.h"

#include "app/hex_text.h"
#include "app/number_format.h"
#include "registers/register_access.h"

namespace vexa {

namespace {
std::string rightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}
}  // namespace

std::vector<RegisterDumpRow> RegisterDumpRows(AppContext& ctx,
                                              const std::function<bool()>& failed) {
  const RegisterTable& t = ctx.registers;
  std::vector<RegisterDumpRow> rows;
  for (int16_t i = 0; i <= LastRegisterIndex; ++i) {
    ReadRegister(ctx, i);
    if (failed && failed()) break;
    RegisterDumpRow row;
    row.index = i;
    row.address = t.BaseAddr[i];
    if (t.Hidden[i] != 0) {
      row.name = "reserved";
    } else {
      row.name = rightTrimmed(t.Label[i]);
      if (t.ReadFlag[i] != 0) {
        row.raw = ctx.access.LastRaw;
        row.scaled = ctx.access.LastScaled;
      }
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> RegisterDumpLines(AppContext& ctx, const std::function<bool()>& failed) {
  return RegisterDumpLines(RegisterDumpRows(ctx, failed));
}

std::vector<std::string> RegisterDumpLines(const std::vector<RegisterDumpRow>& rows) {
  std::vector<std::string> lines;
  lines.push_back("Name\t\tAddr\thexValue\t   decValue");
  lines.push_back("--------------------\t---------\t---------\t   ---------");
  for (const RegisterDumpRow& row : rows) {
    std::string name = row.name;
    if (name.size() < 5) name += "     ";
    const std::string scaled = FormatPattern(row.scaled, "0.0####");
    lines.push_back(name + "      \t" + HexText(row.address) + "\t" + HexText(row.raw) + "\t   " +
                    scaled);
  }
  return lines;
}

}  // namespace vexa
