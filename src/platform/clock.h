#pragma once

#include <string>

namespace vexa {

// The time sources the program uses. Real time on the bench, virtual time in tests.
class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since local midnight in single precision, as coarse as the system tick.
  virtual float secondsSinceMidnight() = 0;
  // Seconds since an arbitrary origin that never jumps or wraps; for device models and deadlines.
  virtual double monotonicSeconds() = 0;
  // Current date and time in the system's short regional forms.
  virtual std::string shortDate() = 0;
  virtual std::string shortTime() = 0;
};

}  // namespace vexa
