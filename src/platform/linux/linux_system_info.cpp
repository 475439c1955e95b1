#include "platform/linux/linux_system_info.h"

#include <sys/utsname.h>

#include <cstdio>
namespace vexa::linux_platform {

OsVersion VersionFromRelease(const std::string& release) {
  OsVersion v;
  v.platformId = 2;
  int major = 0, minor = 0, patch = 0;
  const int got = std::sscanf(release.c_str(), "%d.%d.%d", &major, &minor, &patch);
  if (got < 2) minor = 0;
  if (got < 3) patch = 0;
  if (got < 1) major = 0;
  // "major.minor" read as a decimal number, without the locale's help: 6.1, 5.15, 4.9.
  double divisor = 10;
  while (divisor <= minor) divisor *= 10;
  v.version = static_cast<float>(major + minor / divisor);
  v.build = static_cast<float>(patch);
  return v;
}

OsVersion LinuxSystemInfo::query() {
  utsname name{};
  if (::uname(&name) != 0) return VersionFromRelease("");
  return VersionFromRelease(name.release);
}

}  // namespace vexa::linux_platform
