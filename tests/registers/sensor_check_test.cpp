// What the sensor check says when no known sensor answers: each reading's likely causes, with
// the SPI mode named where the link was set to one the sensor does not use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registers/register_file_slave.h"
#include "registers/sensor_check.h"
#include "support/four_transports.h"

namespace vexa {
namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(SensorCheck, EachReadingNamesItsCauses) {
  const std::string nobody = "nothing answers on the bus. Check the wiring and the sensor's power";
  const std::string mode1 = "SPI mode 1 is chosen and the sensor uses mode 3";
  const struct {
    int32_t productId;
    int mode;
    std::vector<std::string> says;
    std::vector<std::string> saysNot;
  } cases[] = {
      {0xFFFF, -1, {"PROD_ID reads 0xFFFF (65535)", nobody + "."}, {"mode"}},
      {0xFFFF, 1, {nobody + "."}, {"mode"}},  // a floating line is no mode's doing
      {0x0000, -1, {"PROD_ID reads 0x0000 (0)", nobody, "an SPI mode the sensor does not use"}, {}},
      {0x0000, 1, {nobody, "does not take frames in the chosen SPI mode", mode1}, {}},
      {0x0000, 3, {nobody, "it uses mode 3"}, {"mode 3 is chosen"}},
      {0x3507, 0, {"shifted by one bit", "SPI mode 0 is chosen and the sensor uses mode 3"}, {}},
      {0x1234, 2, {"check the wiring", "SPI mode 2 is chosen"}, {}},
      {0x1234, 3, {"check the wiring, the sensor's power and the SPI mode."}, {"chosen"}},
  };
  for (const auto& c : cases) {
    const SensorCheck check = CheckProductId(c.productId, c.mode);
    const std::string what = std::to_string(c.productId) + " mode " + std::to_string(c.mode);
    EXPECT_FALSE(check.known) << what;
    for (const std::string& part : c.says)
      EXPECT_TRUE(has(check.message, part)) << what << ": " << check.message;
    for (const std::string& part : c.saysNot)
      EXPECT_FALSE(has(check.message, part)) << what << ": " << check.message;
  }
  EXPECT_TRUE(CheckProductId(27150, 1).known);
  EXPECT_EQ(CheckProductId(27100).message, "");
}

// The sensor clocks in mode 3 whatever the adapter is set to; every other mode's reading is
// diagnosed with that mode named.
TEST(SensorCheck, AnAdapterInAnotherModeIsNamed) {
  for (int16_t interface : {kInterfaceFtdi, kInterfaceSpidev}) {
    for (int mode = 0; mode < 4; ++mode) {
      testing::RegisterFileSlave slave;
      slave.words[0x56] = 27150;
      testing::TransportLink link(interface, slave);
      link.w.ctx.preferences.setNumber(interface == kInterfaceFtdi ? "ftdi.mode" : "spidev.mode",
                                       mode);
      ASSERT_TRUE(OpenAdapter(link.w.ctx, interface));
      if (interface == kInterfaceFtdi) link.ftdiBoard->engine.attach(&link.monitor, 3);
      const SensorCheck check = CheckSensorPresent(link.w.ctx);
      const std::string what = testing::TransportLink::name(interface) + " mode " +
                               std::to_string(mode) + ": " + check.message;
      EXPECT_FALSE(check.failed) << what;
      EXPECT_EQ(check.known, mode == 3) << what;
      if (mode != 3) {
        EXPECT_TRUE(has(check.message, "SPI mode " + std::to_string(mode) + " is chosen")) << what;
      }
    }
  }
}

// A read that fails is no reading: the check says so and diagnoses nothing.
TEST(SensorCheck, AFailedReadIsReportedAsSuch) {
  testing::RegisterFileSlave slave;
  testing::TransportLink link(kInterfaceUsb, slave);
  link.usb.unplug(0);
  const SensorCheck check = CheckSensorPresent(link.w.ctx);
  EXPECT_TRUE(check.failed);
  EXPECT_FALSE(check.known);
  EXPECT_EQ(check.message, "Error Writing SPI");
}

}  // namespace
}  // namespace vexa
