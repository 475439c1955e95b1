#pragma once

#include <cstddef>
#include <functional>

#include "analysis/mag_calibration.h"
#include "analysis/mag_sample_set.h"
#include "app/app_context.h"

namespace vexa::analysis {

// Sensor traffic of the magnetometer calibration, shared by its window and the command line.
// Everything goes through ReadRegister / WriteRegister; waits are DelayMs.

// The six correction registers as the sensor holds them now.
MagCorrections ReadMagCorrections(AppContext& ctx);

// XMAGN_OUT, YMAGN_OUT, ZMAGN_OUT in mG.
Vec3 ReadMagReading(AppContext& ctx);

// Writes the six registers, waits, and reads them back; returns what the sensor then holds.
MagCorrections WriteMagCorrections(AppContext& ctx, const MagCorrections& c);

// COMMAND flash update, then the 200 ms the sensor needs.
void SaveMagCorrectionsToFlash(AppContext& ctx);

// A simulated bench tumbles the module while the calibration collects; real hardware ignores it.
void SetTumbling(AppContext& ctx, bool on);

// How far a collection has gone, for the caller's display.
struct CollectProgress {
  double elapsedSeconds = 0.0;
  size_t kept = 0;
  size_t offered = 0;
};

// Time between two readings of the three magnetometers.
constexpr float kCollectPassMs = 20.0f;

// Reads the magnetometers into `set` once a pass, letting the window system run each pass,
// until `seconds` have passed (a negative value: no limit) or `onPass` returns false.
void CollectMagReadings(AppContext& ctx, MagSampleSet& set, double seconds,
                        const std::function<bool(const CollectProgress&)>& onPass);

}  // namespace vexa::analysis
