#include "platform/linux/linux_clock.h"

#include <chrono>
#include <ctime>

#include <QDateTime>
#include <QLocale>

namespace vexa::linux_platform {

float LinuxClock::secondsSinceMidnight() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const double fraction = duration<double>(now.time_since_epoch()).count() - static_cast<double>(t);
  return static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec + fraction);
}

double LinuxClock::monotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string LinuxClock::shortDate() {
  return QLocale().toString(QDate::currentDate(), ShortDatePattern(QLocale())).toStdString();
}

std::string LinuxClock::shortTime() {
  return QLocale().toString(QTime::currentTime(), ShortTimePattern(QLocale())).toStdString();
}

QString ShortDatePattern(const QLocale& locale) {
  QString pattern = locale.dateFormat(QLocale::ShortFormat);
  // Dates that are written down (log files) keep the century.
  if (!pattern.contains("yyyy")) pattern.replace("yy", "yyyy");
  return pattern;
}

QString ShortTimePattern(const QLocale& locale) {
  QString pattern = locale.timeFormat(QLocale::ShortFormat);
  // A time of day to the second, in the locale's order and hour form.
  if (!pattern.contains('s')) {
    const qsizetype minutes = pattern.indexOf("mm");
    if (minutes >= 0) pattern.insert(minutes + 2, ":ss");
  }
  return pattern;
}

}  // namespace vexa::linux_platform
