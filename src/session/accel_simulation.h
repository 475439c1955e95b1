#pragma once

// The simulated module's accelerometer errors and its still poses, laid over the simulated
// sensor's configuration when the session's options ask for them.

#include "session/platform_set.h"
#include "session/session_options.h"

namespace vexa {

void AddAccelSimulation(const SessionOptions& options, PlatformOptions& platform);

}  // namespace vexa
