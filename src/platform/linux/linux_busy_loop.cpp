#include "platform/linux/linux_busy_loop.h"

namespace vexa::linux_platform {

void LinuxBusyLoop::spin(int32_t passes) {
  for (volatile int32_t i = 1; i <= passes; i = i + 1) {
  }
}

}  // namespace vexa::linux_platform
