#include "analysis/mag_cal_session.h"

#include "app/delay.h"
#include "registers/register_access.h"
#include "registers/sensor_commands.h"

namespace vexa::analysis {

namespace {
constexpr int16_t kHardIron[3] = {XMAGN_HIF, YMAGN_HIF, ZMAGN_HIF};
constexpr int16_t kSoftIron[3] = {XMAGN_SIF, YMAGN_SIF, ZMAGN_SIF};
constexpr int16_t kOutputs[3] = {XMAGN_OUT, YMAGN_OUT, ZMAGN_OUT};
constexpr float kAfterWriteMs = 100.0f;
constexpr float kAfterFlashMs = 200.0f;
}  // namespace

MagCorrections ReadMagCorrections(AppContext& ctx) {
  MagCorrections c;
  for (int a = 0; a < 3; ++a) {
    ReadRegister(ctx, kHardIron[a]);
    c.hardIron[a] = ctx.access.LastRaw;
    ReadRegister(ctx, kSoftIron[a]);
    c.softIron[a] = ctx.access.LastRaw;
  }
  return c;
}

Vec3 ReadMagReading(AppContext& ctx) {
  Vec3 r{};
  for (int a = 0; a < 3; ++a) {
    ReadRegister(ctx, kOutputs[a]);
    r[a] = ctx.access.LastScaled;
  }
  return r;
}

MagCorrections WriteMagCorrections(AppContext& ctx, const MagCorrections& c) {
  for (int a = 0; a < 3; ++a) {
    WriteRegister(ctx, kHardIron[a], c.hardIron[a]);
    WriteRegister(ctx, kSoftIron[a], c.softIron[a]);
  }
  DelayMs(ctx, kAfterWriteMs);
  return ReadMagCorrections(ctx);
}

void SaveMagCorrectionsToFlash(AppContext& ctx) {
  WriteRegister(ctx, COMMAND, kCommandFlashUpdate);
  DelayMs(ctx, kAfterFlashMs);
}

void SetTumbling(AppContext& ctx, bool on) {
  if (ctx.platform.bench) ctx.platform.bench->setTumbling(on);
}

void CollectMagReadings(AppContext& ctx, MagSampleSet& set, double seconds,
                        const std::function<bool(const CollectProgress&)>& onPass) {
  const double start = ctx.clock().monotonicSeconds();
  CollectProgress progress;
  for (;;) {
    set.add(ReadMagReading(ctx));
    progress.elapsedSeconds = ctx.clock().monotonicSeconds() - start;
    progress.kept = set.samples().size();
    progress.offered = set.offered();
    ctx.ui().processEvents();
    if (onPass && !onPass(progress)) return;
    if (seconds >= 0.0 && progress.elapsedSeconds >= seconds) return;
    DelayMs(ctx, kCollectPassMs);
  }
}

}  // namespace vexa::analysis
