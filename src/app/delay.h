#pragma once

#include "app/app_context.h"

namespace vexa {

// Busy-waits about `ms` milliseconds in steps of 10 microseconds, without letting the window
// system run. A value below 0.01 other than 0 is raised to 0.01 in the caller's variable.
void DelayMs(AppContext& ctx, float& ms);
// The same for a value the caller does not keep.
void DelayMs(AppContext& ctx, const float& ms);

// Measures how many inner-loop passes make 10 microseconds on this machine.
void CalibrateDelay(AppContext& ctx);

// A short calibration against the monotonic clock, for tools that cannot spend the three and a
// half seconds of the full one: doubles the passes until they take `minimumSeconds`, then scales
// to 10 microseconds. The report holds the count alone.
void CalibrateDelayQuickly(AppContext& ctx, double minimumSeconds = 0.02);

}  // namespace vexa
