// The libusb driver's own behaviour that needs no device; the USB traffic itself is tested
// against scripted devices in libusb_driver_umockdev.cpp.
#include "platform/linux/libusb_driver.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include "sim/recording_services.h"

namespace vexa {
namespace {

TEST(LibusbDriver, CauseLinesNameTheErrorAndTheFix) {
  const std::string node = "/dev/bus/usb/001/007";
  struct Case {
    int error;
    std::string line;
  } cases[] = {
      {LIBUSB_ERROR_ACCESS,
       "no permission on /dev/bus/usb/001/007: install the udev rules (see "
       "README)"},
      {LIBUSB_ERROR_NO_DEVICE,
       "Ezusb-0: opening: LIBUSB_ERROR_NO_DEVICE, the card was "
       "unplugged: plug it in and search again"},
      {LIBUSB_ERROR_BUSY,
       "Ezusb-0: opening: LIBUSB_ERROR_BUSY, /dev/bus/usb/001/007 is in use "
       "by another program or driver: close it and search again"},
      {LIBUSB_ERROR_TIMEOUT,
       "Ezusb-0: opening: LIBUSB_ERROR_TIMEOUT, the card did not answer: "
       "check its cable and power, then search again"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LibusbDriver::causeLine("Ezusb-0: opening", node, c.error), c.line);
  // Errors without a known fix still carry libusb's name and description.
  const std::string other = LibusbDriver::causeLine("Ezusb-1: x", node, LIBUSB_ERROR_IO);
  EXPECT_EQ(other.rfind("Ezusb-1: x: LIBUSB_ERROR_IO (", 0), 0u) << other;
}

TEST(LibusbDriver, NamesOutsideTheFourCardSlotsAreNeverOpened) {
  sim::RecordingDiagnostics diagnostics;
  LibusbDriver driver(&diagnostics, [] { return uint16_t{0x5645}; });
  for (const char* name : {"", "Ezusb-", "Ezusb-4", "Ezusb-10", "ezusb-0", "Ezusb-a"}) {
    EXPECT_EQ(driver.open(name), 0) << name;
  }
  EXPECT_TRUE(diagnostics.causes.empty());
  uint32_t returned = 7;
  EXPECT_FALSE(driver.request(42, 0x222000, nullptr, 0, nullptr, 0, returned));
  EXPECT_EQ(returned, 0u);
}

}  // namespace
}  // namespace vexa
