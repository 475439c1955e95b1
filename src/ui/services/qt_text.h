#pragma once

#include <string>

#include <QString>

namespace vexa::ui {

// Between the core's std::string (UTF-8) and the windows' QString.
inline QString text(const std::string& s) {
  return QString::fromStdString(s);
}
inline std::string str(const QString& s) {
  return s.toStdString();
}

}  // namespace vexa::ui
