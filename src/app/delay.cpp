#include "app/delay.h"

#include <algorithm>
#include <cmath>

#include "app/number_format.h"

namespace vexa {

namespace {

// Passes of the 10-microsecond step; formed in double from the single-precision argument, so
// decimal fractions without an exact float form may round either way.
int32_t stepsFor(float ms) {
  return SaturatingInt32(RoundHalfEven(static_cast<double>(ms) * 100.0));
}

constexpr double kStepSeconds = 1e-5;
// Rounding of the clock's arithmetic: a deadline met to the nanosecond has been met (virtual
// time adds its passes in floating point).
constexpr double kClockSlack = 1e-9;
// A wait longer than this sleeps first and spins only its last kSpunTailSeconds: a thread that
// slept is woken ahead of programs that kept the processor busy, so on a busy machine the end
// of a long wait is not stretched by the scheduler, and the processor is free meanwhile.
constexpr double kSleepAboveSeconds = 0.004;
constexpr double kSpunTailSeconds = 0.001;

// `steps` steps of DelayCount passes, as counted; what the calibration times.
void countedSteps(AppContext& ctx, int32_t steps) {
  BusyLoop& busy = *ctx.platform.busy;
  for (int32_t step = 0; step < steps; ++step) busy.spin(ctx.delay.DelayCount);
}

// Busy-waits in steps of DelayCount passes (a long wait sleeps first, see kSleepAboveSeconds)
// until the monotonic clock shows that `steps` x 10 us have passed. The count says only how often
// the clock is read: a count measured while the machine was busy makes shorter steps, and a step
// that the scheduler stretched ends the wait no later than the clock says. A clock that the passes
// do not move (a test's fixed clock) leaves the counted steps as the wait.
void runSteps(AppContext& ctx, int32_t steps) {
  if (ctx.delay.DelayCalibrated == 0) CalibrateDelay(ctx);
  Clock& clock = ctx.clock();
  BusyLoop& busy = *ctx.platform.busy;
  const double start = clock.monotonicSeconds();
  const double deadline = start + steps * kStepSeconds - kClockSlack;
  if (deadline - start > kSleepAboveSeconds) busy.sleep(deadline - start - kSpunTailSeconds);
  // The clock is read every tenth of a step, so a wait ends within a microsecond of its time.
  const int32_t parts = ctx.delay.DelayCount >= 10 ? 10 : 1;
  const int32_t passes = ctx.delay.DelayCount / parts;
  for (int64_t part = 0;; ++part) {
    const double now = clock.monotonicSeconds();
    if (now >= deadline || (part >= int64_t{steps} * parts && now == start)) return;
    busy.spin(passes);
  }
}

// One timed pass of counted steps: the clock's difference across `ms` milliseconds of steps,
// in single precision.
float measure(AppContext& ctx, float ms) {
  Clock& clock = ctx.clock();
  const float start = clock.secondsSinceMidnight();
  countedSteps(ctx, stepsFor(ms));
  const float end = clock.secondsSinceMidnight();
  return end - start;
}

// The fine measurement: `ms` milliseconds of counted steps in slices of 1 ms, each timed on the
// monotonic clock. A slice in which the scheduler ran another program takes longer; the
// fastest slice is the loop's own speed, so the total is that slice times the number of slices.
float measureFastest(AppContext& ctx, float ms) {
  constexpr int32_t kSliceSteps = 100;
  const int32_t slices = std::max(1, stepsFor(ms) / kSliceSteps);
  Clock& clock = ctx.clock();
  double fastest = HUGE_VAL;
  for (int32_t i = 0; i < slices; ++i) {
    const double start = clock.monotonicSeconds();
    countedSteps(ctx, kSliceSteps);
    fastest = std::min(fastest, clock.monotonicSeconds() - start);
  }
  return static_cast<float>(fastest * slices);
}

// A clock that jumps forward during a measurement must not leave a count of 0 (no wait at all,
// and a division by zero below) or one past the 32-bit range.
int32_t scaledCount(double factor, int32_t count) {
  const double scaled = RoundHalfEven(factor * static_cast<double>(count));
  if (!(scaled >= 1.0)) return 1;
  if (scaled > 1e9) return 1000000000;  // the inner loop counts up to it in 32 bits
  return static_cast<int32_t>(scaled);
}

// The shortest delay the loop resolves: 40 passes, in milliseconds and in passes again.
void setMinimumDelay(DelayState& d) {
  d.MinimumDelay = 40.0f / static_cast<float>(d.DelayCount) * 0.01f;
  d.MinimumDelayCount = static_cast<int32_t>(
      RoundHalfEven(static_cast<double>(d.MinimumDelay) * d.DelayCount / 0.01));
}

}  // namespace

void DelayMs(AppContext& ctx, float& ms) {
  if (ms == 0.0f || std::isnan(ms)) return;  // not a number: no wait
  if (ms < 0.01f) ms = 0.01f;
  runSteps(ctx, stepsFor(ms));
}

void DelayMs(AppContext& ctx, const float& ms) {
  float copy = ms;
  DelayMs(ctx, copy);
}

void CalibrateDelay(AppContext& ctx) {
  DelayState& d = ctx.delay;
  d.DelayCalibrated = -1;
  d.DelayCount = 1000;
  ctx.ui().setWaitCursor(true);
  if (d.commandLineGiven) d.DelayCount = static_cast<int32_t>(RoundHalfEven(d.DelayCount / 5.0));

  float first = measure(ctx, 500);
  float second = 0;
  float third = 0;
  float latest = first;
  if (latest < 0.005f) {  // the clock did not advance: the count is far too small
    d.DelayCount *= 40;
    latest = second = measure(ctx, 500);
  }
  if (latest < 0.1f) {
    d.DelayCount *= 6;
    latest = third = measure(ctx, 500);
  }
  if (latest < 0.0005f) latest = 0.0005f;
  d.DelayCount = scaledCount(0.5 / static_cast<double>(latest), d.DelayCount);

  float fine = measureFastest(ctx, 3000);
  if (fine < 0.1f) fine = 0.1f;
  d.DelayCount = scaledCount(3.0 / static_cast<double>(fine), d.DelayCount);

  setMinimumDelay(d);
  ctx.ui().setWaitCursor(false);

  const std::string crlf = "\r\n";
  d.CalibrationReport = "First 0.5Sec delay =    " + GeneralNumber(first) + crlf +
                        "2nd 0.5Sec delay =   " + GeneralNumber(second) + crlf +
                        "3rd 0.5Sec delay =   " + GeneralNumber(third) + crlf +
                        "Actual 3Sec delay =  " + GeneralNumber(fine) + crlf +
                        "10uS Delay Count =   " + std::to_string(d.DelayCount) + crlf +
                        "Minimum Delay=      " + GeneralNumber(d.MinimumDelay * 1000.0f) + " uS" +
                        crlf + "Minimum Delay Count= " + std::to_string(d.MinimumDelayCount) + crlf;
}

void CalibrateDelayQuickly(AppContext& ctx, double minimumSeconds) {
  DelayState& d = ctx.delay;
  Clock& clock = ctx.clock();
  BusyLoop& busy = *ctx.platform.busy;
  int32_t passes = 1000;
  double elapsed = 0;
  for (;;) {
    const double start = clock.monotonicSeconds();
    busy.spin(passes);
    elapsed = clock.monotonicSeconds() - start;
    if (elapsed >= minimumSeconds || passes >= (1 << 29)) break;
    passes *= 2;
  }
  d.DelayCount = elapsed > 0 ? scaledCount(1e-5 / elapsed, passes) : passes;
  d.DelayCalibrated = -1;
  setMinimumDelay(d);
  d.CalibrationReport = "10uS Delay Count =   " + std::to_string(d.DelayCount) + "\r\n";
}

}  // namespace vexa
