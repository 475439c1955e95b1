#pragma once

#include <QLocale>

namespace vexa::ui {

// The region's number form for numbers a person reads, without group separators: "1,125" would
// read as one and an eighth in English and "8.953" as a fraction in German.
inline QLocale Region() {
  QLocale region;
  region.setNumberOptions(QLocale::OmitGroupSeparator);
  return region;
}

}  // namespace vexa::ui
