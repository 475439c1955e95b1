#include "platform/linux/ppdev_port_io.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/hex_text.h"

namespace vexa::linux_platform {

namespace fs = std::filesystem;

namespace {

std::string hexAddress(uint16_t base) {
  return "0x" + HexDigits(base);
}

std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

}  // namespace

std::string FindParportByAddress(const std::string& procDir, uint16_t base) {
  std::error_code ec;
  std::string found;
  int foundNumber = -1;
  for (const auto& entry : fs::directory_iterator(procDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("parport", 0) != 0) continue;
    std::istringstream line(firstLine(entry.path() / "base-addr"));
    long address = -1;
    if (!(line >> address) || address != base) continue;
    // Directory order is arbitrary; the lowest-numbered port wins when two claim one address.
    const int number = std::atoi(name.c_str() + 7);
    if (foundNumber < 0 || number < foundNumber) {
      found = name;
      foundNumber = number;
    }
  }
  return found;
}

std::string ActivePortHolder(const std::string& procDir, const std::string& name) {
  return firstLine(fs::path(procDir) / name / "devices" / "active");
}

std::string CauseNoPortAt(uint16_t base, const std::string& procDir) {
  return "no parallel port at " + hexAddress(base) + ": check the address in " + procDir +
         "/*/base-addr";
}

std::string CauseOpenFailed(const std::string& device, int error) {
  if (error == EACCES || error == EPERM)
    return "no permission on " + device +
           ": add yourself to the lp group ('sudo usermod -aG lp $USER', then log in again)";
  if (error == ENOENT || error == ENODEV || error == ENXIO)
    return device + " is missing: load the ppdev module ('sudo modprobe ppdev')";
  return "cannot open " + device + ": " + std::strerror(error);
}

std::string CauseClaimedBy(const std::string& name, const std::string& holder) {
  if (holder == "lp")
    return name + " is claimed by the lp module: run 'sudo rmmod lp' or blacklist it";
  return name + " is claimed by " + holder + ": stop the program or unload the driver that uses it";
}

std::string CauseClaimFailed(const std::string& device, int error) {
  if (error == EBUSY)
    return device + " is busy: another driver holds the port ('sudo rmmod lp' if it is lp)";
  return "cannot claim " + device + ": " + std::strerror(error);
}

std::string CauseDirectIoFailed(uint16_t base, int error) {
  if (error == EPERM || error == EACCES)
    return "no permission for port I/O at " + hexAddress(base) +
           ": load the port drivers ('sudo modprobe parport_pc ppdev') or run as root";
  return "no parallel port driver loaded and port I/O at " + hexAddress(base) + " refused (" +
         std::strerror(error) + "): load the port drivers ('sudo modprobe parport_pc ppdev')";
}

std::unique_ptr<PpdevPortIo> PpdevPortIo::open(const std::string& device, uint16_t base,
                                               std::string& cause) {
  const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    cause = CauseOpenFailed(device, errno);
    return nullptr;
  }
  if (::ioctl(fd, PPCLAIM) != 0) {
    cause = CauseClaimFailed(device, errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PpdevPortIo>(fd, base);
}

PpdevPortIo::~PpdevPortIo() {
  if (fd_ >= 0) {
    ::ioctl(fd_, PPRELEASE);
    ::close(fd_);
  }
}

void PpdevPortIo::vbOut(uint16_t port, uint8_t value) {
  unsigned char byte = value;
  if (port == base_)
    ::ioctl(fd_, PPWDATA, &byte);
  else if (port == base_ + 2)
    ::ioctl(fd_, PPWCONTROL, &byte);
  // The status register (base + 1) is read-only on the port; a write to it changes no line.
}

uint8_t PpdevPortIo::vbInp(uint16_t port) {
  unsigned char byte = 0xFF;
  if (port == base_)
    ::ioctl(fd_, PPRDATA, &byte);
  else if (port == base_ + 1)
    ::ioctl(fd_, PPRSTATUS, &byte);
  else if (port == base_ + 2)
    ::ioctl(fd_, PPRCONTROL, &byte);
  return byte;
}

}  // namespace vexa::linux_platform
