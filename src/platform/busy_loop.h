#pragma once

#include <cstdint>

namespace vexa {

// The empty counting loop that the calibrated delay is made of. The real one burns CPU; the
// simulated one advances a virtual clock by a fixed cost per pass.
class BusyLoop {
 public:
  virtual ~BusyLoop() = default;
  // Counts a loop variable from 1 up to `passes`, doing nothing else.
  virtual void spin(int32_t passes) = 0;
  // Gives the processor away for about `seconds` (never much longer) within a long wait. Loops
  // on virtual time keep this: the wait is then spun to its end, pass by pass.
  virtual void sleep(double /*seconds*/) {}
};

}  // namespace vexa
