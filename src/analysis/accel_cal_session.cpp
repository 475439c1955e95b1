#include "analysis/accel_cal_session.h"

#include <algorithm>
#include <cmath>

#include "app/delay.h"
#include "registers/data_ready_wait.h"
#include "registers/register_access.h"
#include "registers/register_pipeline.h"
#include "registers/sensor_commands.h"

namespace vexa::analysis {

namespace {
constexpr int16_t kImuRows[6] = {XGYRO_OUT, YGYRO_OUT, ZGYRO_OUT, XACCL_OUT, YACCL_OUT, ZACCL_OUT};
constexpr int16_t kOffsetRows[3] = {XACCL_OFF, YACCL_OFF, ZACCL_OFF};
constexpr float kAfterWriteMs = 100.0f;
constexpr float kAfterFlashMs = 200.0f;
constexpr float kNothingNewMs = 1.0f;
constexpr const char* kLost = "the transport to the sensor failed";
}  // namespace

ImuReader RegisterImuReader(AppContext& ctx) {
  return [&ctx](ImuSample& s, bool& fresh, std::string& error) {
    const std::vector<AccessState> r =
        ReadRegisterList(ctx, std::vector<int16_t>(std::begin(kImuRows), std::end(kImuRows)),
                         CanExchangeFrames(ctx));
    if (TransportLost(ctx) || r.size() != 6) {
      error = kLost;
      return false;
    }
    for (int a = 0; a < 3; ++a) {
      s.gyroDegPerSec[a] = r[a].LastScaled;
      s.accelG[a] = r[3 + a].LastScaled;
    }
    fresh = r[3].LastNewData != 0;
    return true;
  };
}

OffsetReader RegisterOffsetReader(AppContext& ctx) {
  return [&ctx](AccelOffsetCodes& codes, std::string& error) {
    AccelOffsetCodes read{};
    for (int a = 0; a < 3; ++a) {
      ReadRegister(ctx, kOffsetRows[a]);
      read[a] = ctx.access.LastRaw;
    }
    if (TransportLost(ctx)) {
      error = kLost;
      return false;
    }
    codes = read;
    return true;
  };
}

OffsetWriter RegisterOffsetWriter(AppContext& ctx) {
  return [&ctx](const AccelOffsetCodes& codes, std::string& error) {
    for (int a = 0; a < 3; ++a) WriteRegister(ctx, kOffsetRows[a], codes[a]);
    DelayMs(ctx, kAfterWriteMs);
    if (TransportLost(ctx)) {
      error = kLost;
      return false;
    }
    return true;
  };
}

bool FlashAccelOffsets(AppContext& ctx, std::string& error) {
  WriteRegister(ctx, COMMAND, kCommandFlashUpdate);
  DelayMs(ctx, kAfterFlashMs);
  if (TransportLost(ctx)) {
    error = kLost;
    return false;
  }
  return true;
}

PoseCollection CollectStillPoses(AppContext& ctx, const ImuReader& read, size_t goalDistinct,
                                 double minSecondsPerPose, double timeoutSeconds,
                                 const std::function<bool(const CollectStatus&)>& onPass) {
  PoseCollection out;
  StillDetector detector(minSecondsPerPose);
  const double start = ctx.clock().monotonicSeconds();
  CollectStatus status;
  for (;;) {
    ImuSample sample;
    bool fresh = false;
    std::string error;
    if (!read(sample, fresh, error)) {
      out.error = error;
      detector.finish();
      out.poses = detector.poses();
      return out;
    }
    const double now = ctx.clock().monotonicSeconds();
    status.newPose = fresh && detector.add(now - start, sample);
    status.elapsedSeconds = now - start;
    status.still = detector.still();
    if (status.newPose) {
      status.poses = detector.poses().size();
      status.distinct = DistinctPoseCount(detector.poses());
      status.coverage = CoverageOfPoses(detector.poses());
    }
    ctx.ui().processEvents();
    const bool goOn = !onPass || onPass(status);
    if (!goOn || status.distinct >= goalDistinct || status.elapsedSeconds >= timeoutSeconds) break;
    if (!fresh) DelayMs(ctx, kNothingNewMs);
  }
  detector.finish();
  out.ok = true;
  out.poses = detector.poses();
  out.seconds = status.elapsedSeconds;
  return out;
}

OffsetPlan PlanAccelOffsets(const AccelErrorModel& fitted, const AccelOffsetCodes& current,
                            double lsbG, int32_t minCode, int32_t maxCode) {
  OffsetPlan plan;
  for (int a = 0; a < 3; ++a) {
    // The fitted bias already holds what the current code adds; the new code adds the rest.
    const double wanted = current[a] - fitted.biasG[a] / lsbG;
    const double rounded = std::nearbyint(wanted);
    const int32_t code = static_cast<int32_t>(
        std::clamp(rounded, static_cast<double>(minCode), static_cast<double>(maxCode)));
    plan.limited = plan.limited || code != rounded;
    plan.codes[a] = code;
    plan.leftoverG[a] = fitted.biasG[a] + (code - current[a]) * lsbG;
  }
  return plan;
}

AccelErrorModel HostModelAfter(const AccelErrorModel& fitted, const OffsetPlan& plan) {
  AccelErrorModel m = fitted;
  m.biasG = plan.leftoverG;
  return m;
}

}  // namespace vexa::analysis
