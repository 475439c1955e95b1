#pragma once

#include <string>

#include "platform/system_info.h"

namespace vexa::linux_platform {

// Linux counts as the NT family (platform id 2); version is the kernel's major.minor and build
// its patch level.
class LinuxSystemInfo : public SystemInfo {
 public:
  OsVersion query() override;
};

// The kernel release text ("6.1.0-18-amd64") as a version.
OsVersion VersionFromRelease(const std::string& release);

}  // namespace vexa::linux_platform
