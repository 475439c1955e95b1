#pragma once

#include <cstdint>

#include "app/app_context.h"

namespace vexa {

// Waiting for the sensor's next sample by its new-data bit, for logging at the sensor's own
// rate instead of after a fixed delay.

// The sample period an SMPL_PRD value selects: (Ns + 1) x 0.61035 ms, or x 18.921 ms with
// bit 7 set.
double SamplePeriodSeconds(int32_t smplPrd);
// How long a data-ready wait gives the sensor at that period before it counts as stopped: two
// periods and 50 ms, so a late sample is never taken for a stopped sensor.
double DataReadyTimeoutSeconds(int32_t smplPrd);

enum class NewDataWait {
  Arrived,          // a read found the bit set: ctx.access holds that read's results
  TimedOut,         // no new sample within the time given
  TransportFailed,  // the card failed (and said so), or was unusable: no reading can be trusted
};

// The selected card or adapter has failed (and said so) or is not open: nothing read through it
// now is a reading of the sensor.
bool TransportLost(const AppContext& ctx);

// Reads the register `index` (an output register with a new-data bit) until a read finds the
// bit set, for at most `timeoutSeconds` of the platform's monotonic clock. Each read clears the
// bit in the sensor, so consecutive waits return consecutive samples.
NewDataWait WaitForNewData(AppContext& ctx, int16_t index, double timeoutSeconds);

}  // namespace vexa
