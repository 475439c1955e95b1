#include "platform/linux/linux_clock.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QTime>

namespace vexa::linux_platform {
namespace {

TEST(LinuxClock, DateAndTimeFormsKeepCenturyAndSeconds) {
  const QDate date(2026, 12, 6);
  const QTime time(13, 17, 39);
  const struct {
    QLocale locale;
    const char* date;
    const char* time;
  } cases[] = {
      {QLocale(QLocale::English, QLocale::UnitedStates), "12/6/2026", "1:17:39"},
      {QLocale(QLocale::German, QLocale::Germany), "06.12.2026", "13:17:39"},
      {QLocale::c(), "6 Dec 2026", "13:17:39"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.locale.toString(date, ShortDatePattern(c.locale)).toStdString(), c.date);
    // The AM/PM marker's separating blank differs between locale data versions.
    EXPECT_EQ(c.locale.toString(time, ShortTimePattern(c.locale)).toStdString().rfind(c.time, 0),
              0u)
        << c.time;
  }
}

}  // namespace
}  // namespace vexa::linux_platform
