#include "results/result_records.h"

#include <iterator>

namespace vexa::results {

namespace {
constexpr const char* kKindNames[] = {"magnetometer assistant", "auto null", "factory restore",
                                      "flash update", "accelerometer assistant"};
}

const char* CalibrationKindName(CalibrationKind kind) {
  return kKindNames[static_cast<int>(kind)];
}

bool CalibrationKindFromName(const std::string& name, CalibrationKind& kind) {
  for (int i = 0; i < static_cast<int>(std::size(kKindNames)); ++i)
    if (name == kKindNames[i]) {
      kind = static_cast<CalibrationKind>(i);
      return true;
    }
  return false;
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
