#include "app/delay.h"

#include <gtest/gtest.h>

#include "support/sim_world.h"

namespace vexa {
namespace {

using testing::SimWorld;

// With one pass per 10 us the busy loop's pass count is the number of 10-us steps.
struct StepCase {
  float argument;
  int64_t steps;
  float argumentAfter;
};

TEST(DelayMs, WaitsWholeTenMicrosecondStepsAndRaisesTinyArguments) {
  const StepCase cases[] = {
      {0.0f, 0, 0.0f},     {-5.0f, 1, 0.01f},    {0.003f, 1, 0.01f},
      {0.004f, 1, 0.01f},  {0.125f, 12, 0.125f}, {0.375f, 38, 0.375f},
      {0.015f, 1, 0.015f}, {0.1f, 10, 0.1f},     {500.0f, 50000, 500.0f},
  };
  for (const auto& c : cases) {
    SimWorld w(1e-5);
    ASSERT_EQ(w.ctx.delay.DelayCount, 1);
    float ms = c.argument;
    DelayMs(w.ctx, ms);
    EXPECT_EQ(w.busy.totalPasses(), c.steps) << "argument " << c.argument;
    EXPECT_EQ(ms, c.argumentAfter) << "argument " << c.argument;
  }
}

TEST(DelayMs, ConstArgumentIsNotWrittenAndFirstUseCalibrates) {
  SimWorld w(1e-8, /*calibrated=*/false);
  const float ms = 0.001f;
  DelayMs(w.ctx, ms);
  EXPECT_EQ(ms, 0.001f);
  EXPECT_NE(w.ctx.delay.DelayCalibrated, 0);
  EXPECT_FALSE(w.ctx.delay.CalibrationReport.empty());
}

struct CalibrationCase {
  const char* name;
  double secondsPerPass;
  double tick;
  bool commandLine;
  int32_t expectedCount;
  const char* reportStart;
};

TEST(CalibrateDelay, ConvergesToTenMicrosecondsOnTheMeasuredMachine) {
  // Passes cost 1e-8 s: 1000 passes take 10 us, so the count settles at 1000. With a command
  // line the first half second shows the smaller start count (200 passes a step: 0.1 s).
  // 5e-10 s with a coarse 55 ms tick: the first half second reads 0 and the count is raised.
  const CalibrationCase cases[] = {
      {"fine clock", 1e-8, 0.0, false, 1000,
       "First 0.5Sec delay =    0.5\r\n2nd 0.5Sec delay =   0"},
      {"command line", 1e-8, 0.0, true, 1000, "First 0.5Sec delay =    0.1\r\n"},
      {"slow machine", 5e-8, 0.0, false, 200, "First 0.5Sec delay =    2.5\r\n"},
      {"coarse tick", 5e-10, 0.055, false, 20000, "First 0.5Sec delay =    0\r\n"},
  };
  for (const auto& c : cases) {
    SimWorld w(c.secondsPerPass, false);
    w.clock = sim::SimClock(0.0, c.tick);  // near midnight single precision is exact enough
    w.ctx.delay.commandLineGiven = c.commandLine;
    CalibrateDelay(w.ctx);
    const DelayState& d = w.ctx.delay;
    EXPECT_NEAR(d.DelayCount, c.expectedCount, c.expectedCount * 0.03) << c.name;
    EXPECT_EQ(d.CalibrationReport.rfind(c.reportStart, 0), 0u) << c.name << "\n"
                                                               << d.CalibrationReport;
    EXPECT_EQ(w.ui.waitCursorChanges, (std::vector<bool>{true, false})) << c.name;
  }
}

TEST(CalibrateDelay, ReportHasSevenLinesWithTheMinimumDelay) {
  SimWorld w(1e-8, false);
  w.clock = sim::SimClock(0.0, 0.0);
  CalibrateDelay(w.ctx);
  const DelayState& d = w.ctx.delay;
  EXPECT_EQ(d.DelayCount, 1000);
  EXPECT_FLOAT_EQ(d.MinimumDelay, 0.0004f);
  EXPECT_EQ(d.MinimumDelayCount, 40);
  EXPECT_EQ(d.CalibrationReport,
            "First 0.5Sec delay =    0.5\r\n"
            "2nd 0.5Sec delay =   0\r\n"
            "3rd 0.5Sec delay =   0\r\n"
            "Actual 3Sec delay =  3\r\n"
            "10uS Delay Count =   1000\r\n"
            "Minimum Delay=      0.4 uS\r\n"
            "Minimum Delay Count= 40\r\n");
}

TEST(CalibrateDelay, MeasurementAcrossMidnightCountsAsTooShortAndStaysUsable) {
  // Start 0.2 s before midnight: the first half second reads negative and is clamped.
  SimWorld w(1e-8, false);
  w.clock = sim::SimClock(86399.8, 0.0);
  CalibrateDelay(w.ctx);
  EXPECT_GT(w.ctx.delay.DelayCount, 0);
  EXPECT_GT(w.ctx.delay.MinimumDelay, 0.0f);
}

// A machine that other programs keep busy: every `every` calls of the loop, the scheduler gives
// the processor away for `stolen` seconds.
class SharedMachineLoop : public BusyLoop {
 public:
  SharedMachineLoop(sim::SimClock& clock, double secondsPerPass, int every, double stolen)
      : clock_(clock), perPass_(secondsPerPass), every_(every), stolen_(stolen) {}
  void spin(int32_t passes) override {
    clock_.advance(perPass_ * passes);
    if (++calls_ % every_ == 0) clock_.advance(stolen_);
  }

 private:
  sim::SimClock& clock_;
  double perPass_;
  int every_;
  double stolen_;
  int64_t calls_ = 0;
};

TEST(CalibrateDelay, ABusyMachineDoesNotShortenTheCount) {
  // A quarter of the time goes to other programs, in 10 ms turns; passes cost 1e-8 s, so the
  // count that makes 10 us is 1000 whatever the load.
  SimWorld w(1e-8, false);
  w.clock = sim::SimClock(0.0, 0.0);
  SharedMachineLoop shared(w.clock, 1e-8, 3000, 0.010);
  w.ctx.platform.busy = &shared;
  CalibrateDelay(w.ctx);
  EXPECT_NEAR(w.ctx.delay.DelayCount, 1000, 30);
}

TEST(DelayMs, NoWaitEndsBeforeTheMonotonicClockShowsTheTime) {
  // Counts that make steps too short (a calibration fooled, the machine sped up) or far too
  // long: each wait lasts the time asked, and a long step overshoots by at most one step.
  const struct {
    int32_t count;
    double secondsPerPass;
  } cases[] = {{1000, 3e-9}, {1000, 1e-8}, {333, 1e-8}, {1000, 1e-7}, {1, 1e-6}};
  for (const float ms : {0.1f, 1.0f, 100.0f, 1000.0f}) {
    for (const auto& c : cases) {
      SimWorld w(c.secondsPerPass);
      w.ctx.delay.DelayCount = c.count;
      const double start = w.clock.monotonicSeconds();
      DelayMs(w.ctx, ms);
      const double waited = w.clock.monotonicSeconds() - start;
      EXPECT_GE(waited, ms / 1000.0 - 1e-9) << ms << " ms, count " << c.count;
      EXPECT_LE(waited, ms / 1000.0 + c.count * c.secondsPerPass / 10 + 1e-9) << ms << " ms";
    }
  }
}

// A loop that may sleep, as the real one does; sleeping passes the virtual time asked.
class SleepingLoop : public sim::SimBusyLoop {
 public:
  SleepingLoop(sim::SimClock& clock) : SimBusyLoop(clock, 1e-8), clock_(clock) {}
  void sleep(double seconds) override {
    slept += seconds;
    clock_.advance(seconds);
  }
  double slept = 0;

 private:
  sim::SimClock& clock_;
};

TEST(DelayMs, LongWaitsSleepAndSpinOnlyTheirLastMillisecond) {
  const struct {
    float ms;
    double slept;
  } cases[] = {{0.1f, 0}, {4.0f, 0}, {5.0f, 0.004}, {1000.0f, 0.999}};
  for (const auto& c : cases) {
    SimWorld w;
    SleepingLoop loop(w.clock);
    w.ctx.platform.busy = &loop;
    const double start = w.clock.monotonicSeconds();
    DelayMs(w.ctx, c.ms);
    EXPECT_NEAR(loop.slept, c.slept, 1e-6) << c.ms;
    EXPECT_NEAR(w.clock.monotonicSeconds() - start, c.ms / 1000.0, 1.1e-5) << c.ms;
  }
}

TEST(CalibrateDelayQuickly, ScalesToTenMicrosecondsAgainstTheMonotonicClock) {
  const struct {
    double secondsPerPass;
    int32_t count;
  } cases[] = {{1e-8, 1000}, {5e-10, 20000}, {1e-5, 1}, {1e-3, 1}};
  for (const auto& c : cases) {
    SimWorld w(c.secondsPerPass, false);
    CalibrateDelayQuickly(w.ctx);
    EXPECT_EQ(w.ctx.delay.DelayCount, c.count) << c.secondsPerPass;
    EXPECT_NE(w.ctx.delay.DelayCalibrated, 0);
    EXPECT_GT(w.ctx.delay.MinimumDelay, 0.0f);
  }
}

}  // namespace
}  // namespace vexa
