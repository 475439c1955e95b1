#include "results/result_records.h"

#include <iterator>

namespace vexa::results {

namespace {
constexpr const char* kKindNames[] = {
    "magnetometer apply",  "magnetometer revert", "auto null",
    "precision auto null", "factory restore",     "flash update",
    "accelerometer assistant"};
}

const char* CalibrationKindName(CalibrationKind kind) {
  return kKindNames[static_cast<int>(kind)];
}

bool CalibrationKindFromName(const std::string& name, CalibrationKind& kind) {
  // Records queued by an earlier version named both magnetometer writes alike.
  if (name == "magnetometer assistant") {
    kind = CalibrationKind::MagnetometerApply;
    return true;
  }
  for (size_t i = 0; i < std::size(kKindNames); ++i)
    if (name == kKindNames[i]) {
      kind = static_cast<CalibrationKind>(i);
      return true;
    }
  return false;
}

bool CheckUnitName(const std::string& name, std::string& error) {
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    // C0 controls, DEL, and the C1 controls as UTF-8 (0xC2 0x80..0x9F): some terminals act
    // on those as on an escape.
    const bool c1 = c == 0xC2 && i + 1 < name.size() &&
                    static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(name[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      error =
          "a unit name holds no control characters (a line break, a tab, an escape); "
          "character " +
          std::to_string(i + 1) + " is one";
      return false;
    }
  }
  return true;
}

std::string FigureName(const std::string& title, const std::string& term) {
  return title + "/" + term;
}

bool SplitFigureName(const std::string& name, std::string& title, std::string& term) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == name.size()) return false;
  title = name.substr(0, slash);
  term = name.substr(slash + 1);
  return true;
}

}  // namespace vexa::results
