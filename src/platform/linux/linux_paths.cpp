#include "platform/linux/linux_paths.h"

#include <filesystem>

namespace vexa::linux_platform {

std::string LinuxPaths::currentDirectory() {
  std::error_code ec;
  const auto path = std::filesystem::current_path(ec);
  return ec ? std::string(".") : path.string();
}

std::string LinuxPaths::applicationDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return currentDirectory();
  return exe.parent_path().string();
}

}  // namespace vexa::linux_platform
