#pragma once

#include "platform/clock.h"

namespace vexa::linux_platform {

// Wall-clock time of day, a monotonic clock, and the locale's short date and time forms.
class LinuxClock : public Clock {
 public:
  float secondsSinceMidnight() override;
  double monotonicSeconds() override;
  std::string shortDate() override;
  std::string shortTime() override;
};

}  // namespace vexa::linux_platform
