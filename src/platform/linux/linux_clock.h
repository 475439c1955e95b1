#pragma once

#include <QLocale>
#include <QString>

#include "platform/clock.h"

namespace vexa::linux_platform {

// Wall-clock time of day, a monotonic clock, and the locale's short date and time forms (the
// time to the second, the year with its century).
class LinuxClock : public Clock {
 public:
  float secondsSinceMidnight() override;
  double monotonicSeconds() override;
  std::string shortDate() override;
  std::string shortTime() override;
};

// The locale's short date pattern with a four-digit year.
QString ShortDatePattern(const QLocale& locale);
// The locale's short time pattern with seconds.
QString ShortTimePattern(const QLocale& locale);

}  // namespace vexa::linux_platform
