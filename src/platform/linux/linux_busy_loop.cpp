#include "platform/linux/linux_busy_loop.h"

#include <chrono>
#include <thread>

namespace vexa::linux_platform {

void LinuxBusyLoop::spin(int32_t passes) {
  for (volatile int32_t i = 1; i <= passes; i = i + 1) {
  }
}

void LinuxBusyLoop::sleep(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace vexa::linux_platform
