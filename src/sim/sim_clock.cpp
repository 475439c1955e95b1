#include "sim/sim_clock.h"

#include <cmath>
#include <cstdio>

namespace vexa::sim {

namespace {
constexpr double kDay = 86400.0;

double timeOfDay(double start, double now, double tick) {
  double t = std::fmod(start + now, kDay);
  if (tick > 0) t = std::floor(t / tick) * tick;
  return t;
}
}  // namespace

float SimClock::secondsSinceMidnight() {
  return static_cast<float>(timeOfDay(startOfDay_, now_, tick_));
}

std::string SimClock::shortTime() {
  const int s = static_cast<int>(timeOfDay(startOfDay_, now_, 0)) % 86400;
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, (s / 60) % 60, s % 60);
  return text;
}

}  // namespace vexa::sim
