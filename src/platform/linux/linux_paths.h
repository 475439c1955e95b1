#pragma once

#include "platform/paths.h"

namespace vexa::linux_platform {

// The working folder, and the folder of the running program from /proc/self/exe.
class LinuxPaths : public Paths {
 public:
  std::string currentDirectory() override;
  std::string applicationDirectory() override;
};

}  // namespace vexa::linux_platform
