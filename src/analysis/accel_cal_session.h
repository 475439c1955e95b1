#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/accel_fit.h"
#include "analysis/accel_still.h"
#include "app/app_context.h"

namespace vexa::analysis {

// The device side of the accelerometer calibration, behind narrow seams so that the window, the
// command line and any other way to the sensor share the collection and the arithmetic.

// Reads the three gyros and three accelerometers once. False with the cause when the reading
// failed (nothing in `sample` is then used). `fresh` is false when the sensor has taken no new
// sample since the reading before.
using ImuReader = std::function<bool(ImuSample& sample, bool& fresh, std::string& error)>;

// XACCL_OFF .. ZACCL_OFF as register codes.
using AccelOffsetCodes = std::array<int32_t, 3>;
// Reads or writes the three offset registers. False with the cause.
using OffsetReader = std::function<bool(AccelOffsetCodes& codes, std::string& error)>;
using OffsetWriter = std::function<bool(const AccelOffsetCodes& codes, std::string& error)>;

// The seams over today's register access (ReadRegister / WriteRegister on the selected
// transport; a lost transport is a failure).
ImuReader RegisterImuReader(AppContext& ctx);
OffsetReader RegisterOffsetReader(AppContext& ctx);
OffsetWriter RegisterOffsetWriter(AppContext& ctx);
// COMMAND flash update and the wait the sensor needs. False with the cause.
bool FlashAccelOffsets(AppContext& ctx, std::string& error);

struct CollectStatus {
  double elapsedSeconds = 0.0;
  bool still = false;
  size_t poses = 0;
  size_t distinct = 0;
  PoseCoverage coverage;
  bool newPose = false;  // this pass closed a pose
};

struct PoseCollection {
  bool ok = false;  // false: a reading failed; `error` says why, `poses` holds those before it
  std::string error;
  std::vector<StillPose> poses;
  double seconds = 0.0;
};

// Reads until `goalDistinct` distinct still poses of at least `minSecondsPerPose` are found,
// `timeoutSeconds` pass, or `onPass` returns false (a cancel). Waits 1 ms (DelayMs) whenever the
// sensor had nothing new, and lets the window system run each pass.
PoseCollection CollectStillPoses(AppContext& ctx, const ImuReader& read, size_t goalDistinct,
                                 double minSecondsPerPose, double timeoutSeconds,
                                 const std::function<bool(const CollectStatus&)>& onPass);

// What the offset registers can take of a fitted bias.
struct OffsetPlan {
  AccelOffsetCodes codes{};  // to write
  Vec3 leftoverG{};          // the bias the registers cannot hold: the host corrects it
  bool limited = false;      // a code reached the register's range
};
// The fit saw readings through `current`; the new codes take the fitted bias out as far as the
// registers' resolution (`lsbG`) and range allow.
OffsetPlan PlanAccelOffsets(const AccelErrorModel& fitted, const AccelOffsetCodes& current,
                            double lsbG, int32_t minCode, int32_t maxCode);

// The host's model after the plan is written: the fit with only the leftover bias.
AccelErrorModel HostModelAfter(const AccelErrorModel& fitted, const OffsetPlan& plan);

}  // namespace vexa::analysis
