#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vexa {

// The four values kept between runs in CommPort.cfg.
struct Settings {
  int16_t Interface = 0;  // 0 none, 1 parallel port, 2 USB SPI card, 3 FTDI, 4 spidev
  int16_t PortAddress = 0;
  int16_t Factory = 0;
  int16_t Device = 0;
};

constexpr int16_t kInterfaceNone = 0;
constexpr int16_t kInterfaceParallel = 1;
constexpr int16_t kInterfaceUsb = 2;
constexpr int16_t kInterfaceFtdi = 3;    // FTDI MPSSE board on USB
constexpr int16_t kInterfaceSpidev = 4;  // Linux spidev node

// The interface as the command line's --interface spells it; "none" for any other number.
constexpr const char* InterfaceName(int16_t interface) {
  switch (interface) {
    case kInterfaceParallel:
      return "parallel";
    case kInterfaceUsb:
      return "usb";
    case kInterfaceFtdi:
      return "ftdi";
    case kInterfaceSpidev:
      return "spidev";
    default:
      return "none";
  }
}

// Calibration of the busy-wait delay.
struct DelayState {
  int16_t DelayCalibrated = 0;
  int32_t DelayCount = 1000;
  float MinimumDelay = 0;
  int32_t MinimumDelayCount = 0;
  std::string CalibrationReport;
  // The program was started with a non-empty command line: calibration starts from a smaller count.
  bool commandLineGiven = false;
};

// Results of the last register read, and the program's copies of three control registers.
struct AccessState {
  int32_t LastRaw = 0;
  float LastScaled = 0;
  int16_t LastHigh = 0;
  int16_t LastLow = 0;
  int32_t LastNewData = 0;
  int32_t LastAlarm = 0;
  int32_t GpioCtrlShadow = 0;
  int32_t AlmCtrlShadow = 0;
  int32_t MscCtrlShadow = 0;
};

struct UsbCardInfo {
  std::string Name;
  uint8_t PortNumber = 0;
  int16_t Present = 0;
  std::string BoardType;
  std::string Descriptor0;
  std::string Descriptor1;
  float FirmwareRev = 0;
  std::string UsbSpeed;
};

// The card maker's USB vendor ID; a card flashed with another ID can be named at run time.
constexpr uint16_t kDefaultCardVendorId = 0x5645;  // "VE"

struct UsbState {
  std::array<UsbCardInfo, 4> UsbCards{};
  int16_t UsbCardCount = 0;
  UsbCardInfo SelectedCard;
  int16_t SelectedCardIndex = -1;
  uint16_t CardVendorId = kDefaultCardVendorId;

  uint8_t WordDelay = 25;
  uint8_t StaticBits = 120;
  uint8_t CselChannel = 1;
  int16_t InputPolarityPos = -1;
  uint8_t WordCount = 0;
  std::array<int32_t, 17> TxWords{};
  std::array<int32_t, 17> RxWords{};
  int16_t DebugLoopStop = -1;
};

struct OsState {
  std::string OsName;
  int16_t PortDriverStarted = 0;
};

}  // namespace vexa
