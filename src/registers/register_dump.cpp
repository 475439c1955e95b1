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

std::vector<std::string> RegisterDumpLines(AppContext& ctx, const std::function<bool()>& failed) {
  const RegisterTable& t = ctx.registers;
  std::vector<std::string> lines;
  lines.push_back("Name\t\tAddr\thexValue\t   decValue");
  lines.push_back("--------------------\t---------\t---------\t   ---------");
  for (int16_t i = 0; i <= LastRegisterIndex; ++i) {
    ReadRegister(ctx, i);
    if (failed && failed()) break;
    std::string name;
    std::string value = HexText(0);
    std::string scaled = FormatPattern(0.0, "0.0####");
    if (t.Hidden[i] != 0) {
      name = "reserved";
    } else {
      name = rightTrimmed(t.Label[i]);
      if (name.size() < 5) name += "     ";
      if (t.ReadFlag[i] != 0) {
        value = HexText(ctx.access.LastRaw);
        scaled = FormatPattern(ctx.access.LastScaled, "0.0####");
      }
    }
    lines.push_back(name + "      \t" + HexText(t.BaseAddr[i]) + "\t" + value + "\t   " + scaled);
  }
  return lines;
}

}  // namespace vexa
