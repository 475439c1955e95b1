#include "registers/data_ready_wait.h"

#include "app/delay.h"
#include "registers/register_pipeline.h"
#include "transport/selected_link.h"

namespace vexa {

namespace {

constexpr double kFastBaseSeconds = 0.00061035;
constexpr double kSlowBaseSeconds = 0.018921;
constexpr double kTimeoutMarginSeconds = 0.05;
// Between two polls: enough for time to pass on any clock, short against any sample period.
constexpr float kPollPauseMs = 0.01f;

}  // namespace

bool TransportLost(const AppContext& ctx) {
  return LinkLost(ctx);
}

double SamplePeriodSeconds(int32_t smplPrd) {
  const double base = (smplPrd & 0x80) != 0 ? kSlowBaseSeconds : kFastBaseSeconds;
  return ((smplPrd & 0x7F) + 1) * base;
}

double DataReadyTimeoutSeconds(int32_t smplPrd) {
  return 2 * SamplePeriodSeconds(smplPrd) + kTimeoutMarginSeconds;
}

NewDataWait WaitForNewData(AppContext& ctx, int16_t index, double timeoutSeconds) {
  if (TransportLost(ctx)) return NewDataWait::TransportFailed;
  Clock& clock = ctx.clock();
  const double deadline = clock.monotonicSeconds() + timeoutSeconds;
  for (;;) {
    // One register in a pipelined read: its command, then a frame of zeros for the reply, so no
    // second read of the register clears a new-data bit unseen.
    ReadRegistersPipelined(ctx, &index, 1, nullptr);
    if (TransportLost(ctx)) return NewDataWait::TransportFailed;
    if (ctx.registers.NDflag[index] == 0 || ctx.access.LastNewData != 0)
      return NewDataWait::Arrived;
    if (clock.monotonicSeconds() >= deadline) return NewDataWait::TimedOut;
    DelayMs(ctx, kPollPauseMs);
  }
}

}  // namespace vexa
