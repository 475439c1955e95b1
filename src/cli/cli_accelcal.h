#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/accel_cal_session.h"
#include "app/app_context.h"
#include "cli/cli.h"

namespace vexa::cli {

// `accelcal [--poses N] [--seconds-per-pose S] [--latitude DEG --height M] [--apply] [--flash]
// [--json OUT]`: the module laid still in many orientations; the accelerometers' bias, scale
// and misalignment (and the gyros' bias and g-sensitivity) fitted to the still poses.
struct AccelCalOptions {
  size_t poses = 12;            // distinct orientations to collect
  double secondsPerPose = 3.0;  // shortest still interval that counts
  std::optional<double> latitudeDeg;
  double heightM = 0.0;
  bool apply = false;
  bool flash = false;  // needs apply
  std::string json;    // the host's correction file; empty: none
};

// Distinct new poses of the verification pass after --apply.
constexpr size_t kAccelVerifyPoses = 6;

// Exit statuses beyond the common ones, as magcal's.
constexpr int kExitAccelCalUntrusted = 3;    // refused or not trusted: nothing written
constexpr int kExitAccelCalNotVerified = 4;  // written, but read back otherwise or not better

bool ParseAccelCalOperands(const std::vector<std::string>& operands, AccelCalOptions& options,
                           std::string& error);

// The ways to the device the calibration uses; RegisterAccelDevice gives today's register
// access on a transport in service.
struct AccelDevice {
  analysis::ImuReader read;
  analysis::OffsetReader readOffsets;
  analysis::OffsetWriter writeOffsets;
  std::function<bool(std::string& error)> flash;
};
AccelDevice RegisterAccelDevice(AppContext& ctx);

// What a run changed, for the results store.
struct AccelCalOutcome {
  bool written = false;
  analysis::AccelOffsetCodes before{};
  analysis::AccelOffsetCodes after{};
  bool flashed = false;
  analysis::AccelFit fit;
  // The verification pass's RMS residual as read and as the host corrects it, mg.
  double verifyAsReadMg = 0.0;
  double verifyCorrectedMg = 0.0;
};

// Results to `out`, prompts and progress to `err`. Returns the exit status.
int RunAccelCal(AppContext& ctx, AccelDevice& device, const AccelCalOptions& options,
                std::ostream& out, std::ostream& err, AccelCalOutcome* outcome = nullptr);

const char* AccelCalUsage();

// Keeps what a run changed in the results store under --unit: the offset registers before and
// after, and the fit's figures (title "Accel calibration"). Nothing after a failed transfer.
void KeepAccelCal(AppContext& ctx, const CliOptions& options, const AccelCalOutcome& outcome,
                  bool transferFailed, std::ostream& err);

}  // namespace vexa::cli
