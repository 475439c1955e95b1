#pragma once

#include <cstdint>
#include <string>

#include "platform/busy_loop.h"
#include "platform/clock.h"

namespace vexa::sim {

// Virtual time. Starts at a chosen time of day; reads of the time of day are quantised to the
// clock tick, as the system clock is. Nothing here sleeps.
class SimClock : public Clock {
 public:
  explicit SimClock(double startSecondsSinceMidnight = 36000.0, double tickSeconds = 0.0)
      : startOfDay_(startSecondsSinceMidnight), tick_(tickSeconds) {}

  float secondsSinceMidnight() override;
  double monotonicSeconds() override { return now_; }
  std::string shortDate() override { return date_; }
  std::string shortTime() override;

  void advance(double seconds) { now_ += seconds; }
  void setTick(double seconds) { tick_ = seconds; }
  void setDate(std::string date) { date_ = std::move(date); }

 private:
  double startOfDay_;
  double tick_;
  double now_ = 0.0;
  std::string date_ = "07/12/2026";
};

// The busy-wait on virtual time: each inner pass costs a fixed time on the simulated clock.
class SimBusyLoop : public BusyLoop {
 public:
  SimBusyLoop(SimClock& clock, double secondsPerPass) : clock_(clock), perPass_(secondsPerPass) {}
  void spin(int32_t passes) override {
    if (passes > 0) clock_.advance(perPass_ * passes);
    totalPasses_ += passes > 0 ? passes : 0;
  }
  void setSecondsPerPass(double seconds) { perPass_ = seconds; }
  int64_t totalPasses() const { return totalPasses_; }

 private:
  SimClock& clock_;
  double perPass_;
  int64_t totalPasses_ = 0;
};

}  // namespace vexa::sim
