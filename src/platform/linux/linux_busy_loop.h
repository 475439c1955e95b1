#pragma once

#include "platform/busy_loop.h"

namespace vexa::linux_platform {

// The empty counting loop, on the processor. The counter is volatile so that the compiler keeps
// every pass, whatever the optimisation level.
class LinuxBusyLoop : public BusyLoop {
 public:
  void spin(int32_t passes) override;
  void sleep(double seconds) override;
};

}  // namespace vexa::linux_platform
