#include "platform/ftdi_causes.h"

#include <cstdio>

namespace vexa::ftdi_causes {

std::string idList(const std::vector<UsbId>& ids) {
  std::string out;
  for (const UsbId& id : ids) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", id.vendor, id.product);
    out += (out.empty() ? "" : ", ") + std::string(text);
  }
  return out;
}

std::string noBoard(const FtdiSelector& s) {
  std::string which = "no FTDI board with the IDs " + idList(s.ids);
  if (!s.serial.empty()) which += " and serial " + s.serial;
  if (!s.busPort.empty()) which += " at bus-port " + s.busPort;
  return which +
         " is attached: plug it in, check `lsusb`, or choose the board found in "
         "Interface > FTDI";
}

std::string noPermission(const std::string& node) {
  return "no permission on " + node +
         ": install the udev rules (see README) or join the plugdev group, then replug the board";
}

std::string kernelDriver(const std::string& busPort, char channel) {
  return "the ftdi_sio kernel driver holds interface " + std::string(1, channel) + " of " +
         busPort +
         ": unbind it (`sudo rmmod ftdi_sio`, or write the interface to "
         "/sys/bus/usb/drivers/ftdi_sio/unbind), or install the udev rules that let the "
         "program detach it; if another program has the board open, close it";
}

int mpsseChannels(FtdiChip chip) {
  switch (chip) {
    case FtdiChip::Ft232H:
    case FtdiChip::Ft2232D:
      return 1;
    case FtdiChip::Ft2232H:
    case FtdiChip::Ft4232H:
      return 2;  // the 4232H has MPSSE on A and B only
    default:
      return 0;
  }
}

std::string noChannel(const std::string& busPort, FtdiChip chip, char channel) {
  const int channels = mpsseChannels(chip);
  if (channel >= 'A' && channel < 'A' + channels) return {};
  if (chip == FtdiChip::Ft2232D && channel == 'B')
    return "the FT2232D at " + busPort +
           " has one MPSSE engine, on interface A; its interface B is a serial port that "
           "cannot clock SPI: wire the sensor to the ADBUS pins and choose interface A";
  return "the board at " + busPort + " has no interface " + std::string(1, channel) +
         " with an MPSSE engine: choose interface A" + (channels > 1 ? " or B" : "");
}

std::string unplugged(const std::string& busPort) {
  return "the FTDI board at " + busPort +
         " was unplugged: plug it in and choose it again in Interface > FTDI";
}

std::string timedOut(const std::string& busPort, unsigned timeoutMs) {
  return "the FTDI board at " + busPort + " did not answer within " + std::to_string(timeoutMs) +
         " ms: check its USB cable and power, then choose it again";
}

std::string notMpsse(const std::string& busPort) {
  return "the board at " + busPort +
         " refused MPSSE mode: it is not an FT232H, FT2232 or FT4232H, or its EEPROM disables "
         "the engine";
}

}  // namespace vexa::ftdi_causes
