#include "app/settings_file.h"

#include <cctype>
#include <fstream>
#include <istream>
#include <sstream>

#include "app/number_format.h"

namespace vexa {

namespace {

std::string settingsPath(AppContext& ctx) {
  return ctx.platform.paths->currentDirectory() + "/" + kSettingsFileName;
}

// One text field: blanks in front skipped, ended by a comma or the end of the line.
bool nextField(std::istream& in, std::string& field) {
  field.clear();
  int c = in.peek();
  if (c == EOF) return false;
  while (c == ' ' || c == '\t') {
    in.get();
    c = in.peek();
  }
  while ((c = in.get()) != EOF) {
    if (c == ',') break;
    if (c == '\n') break;
    if (c == '\r') {
      if (in.peek() == '\n') in.get();
      break;
    }
    field += static_cast<char>(c);
  }
  return true;
}

// The value text as a 16-bit integer: blanks around it ignored, a fraction rounded half to even.
bool toInt16(const std::string& text, int16_t& out) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  const std::string t = text.substr(b, e - b);
  if (t.empty()) return false;
  size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  size_t digits = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i])))
      ++digits;
    else if (t[i] == '.' && !point)
      point = true;
    else
      return false;
  }
  if (digits == 0) return false;
  const double v = RoundHalfEven(Val(t));
  if (v < -32768 || v > 32767) return false;
  out = static_cast<int16_t>(v);
  return true;
}

std::string printForm(int16_t v) {
  return (v >= 0 ? " " : "") + std::to_string(v) + " ";
}

}  // namespace

void ReadSettingsFields(std::istream& in, Settings& s) {
  std::string line;
  while (nextField(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq < 1) return;  // no "=", or no room for a key: a bad line
    const size_t p = eq + 1;                        // 1-based position of the "="
    const std::string key = line.substr(0, p - 2);
    const std::string valueText = p + 1 <= line.size() ? line.substr(p + 1) : std::string();
    int16_t value = 0;
    if (!toInt16(valueText, value)) return;
    if (key == "Interface")
      s.Interface = value;
    else if (key == "Port Address")
      s.PortAddress = value;
    else if (key == "Factory")
      s.Factory = value;
    else if (key == "Device")
      s.Device = value;
  }
}

std::string SettingsFileText(const Settings& s) {
  return "Interface = " + printForm(s.Interface) + "\r\n" +
         "Port Address = " + printForm(s.PortAddress) + "\r\n" +
         "Factory = " + printForm(s.Factory) + "\r\n" + "Device = " + printForm(s.Device) + "\r\n";
}

void ReadSettings(AppContext& ctx) {
  std::ifstream in(settingsPath(ctx), std::ios::binary);
  if (!in) return;
  ReadSettingsFields(in, ctx.settings);
}

void WriteSettings(AppContext& ctx) {
  std::ofstream out(settingsPath(ctx), std::ios::binary | std::ios::trunc);
  if (!out) return;
  out << SettingsFileText(ctx.settings);
}

}  // namespace vexa
