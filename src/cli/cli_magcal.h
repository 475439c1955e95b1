#pragma once

#include <functional>

#include "session/session_result.h"

#include <iosfwd>
#include <string>
#include <vector>

#include "app/app_context.h"

namespace vexa::cli {

// `magcal [--seconds N] [--apply] [--flash]`: collect magnetometer readings while the module is
// turned, fit them, print the fit and the corrections; optionally write, verify and store them.
struct MagCalOptions {
  double seconds = 60.0;
  bool apply = false;
  bool flash = false;  // needs apply
};

// Length of the verification pass after --apply.
constexpr double kMagCalVerifySeconds = 10.0;

// Exit statuses beyond the common ones (0 success, 1 device, 2 usage).
constexpr int kExitMagCalUntrusted = 3;    // coverage or fit quality too poor: nothing written
constexpr int kExitMagCalNotVerified = 4;  // written, but the readback or the check failed

// Reads the words after `magcal`. False with a one-line error.
bool ParseMagCalOperands(const std::vector<std::string>& operands, MagCalOptions& options,
                         std::string& error);

// Runs on a transport already in service. Results to `out`, progress (about once a second) to
// `err`. Returns the exit status.
// `health`, when given, is asked after each step that touched the device (the session's
// health()): a failed transfer ends the run with status 1 before anything read is printed.
int RunMagCal(AppContext& ctx, const MagCalOptions& options, std::ostream& out, std::ostream& err,
              const std::function<Status()>& health = {});

// The part of the usage text about magcal.
const char* MagCalUsage();

}  // namespace vexa::cli
