#include "sim/sim_bus_time.h"

#include <chrono>
#include <thread>

#include "sim/sim_clock.h"

namespace vexa::sim {

namespace {

// Sleeps through most of the wait and spins through the rest, so that the wait ends on time
// without holding the processor for all of it.
void waitWallClock(double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(seconds));
  constexpr auto kSpinTail = std::chrono::microseconds(200);
  if (seconds > 1.5e-4 + 2e-4) std::this_thread::sleep_until(end - kSpinTail);
  while (Clock::now() < end) {
  }
}

}  // namespace

void SimBusTime::pass(double seconds) const {
  if (!(seconds > 0)) return;
  if (virtualClock != nullptr)
    virtualClock->advance(seconds);
  else if (wallClock)
    waitWallClock(seconds);
}

}  // namespace vexa::sim
