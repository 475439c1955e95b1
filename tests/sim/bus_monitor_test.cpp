#include "sim/bus_monitor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_sensor_rig.h"

namespace vexa::testing {
namespace {

using sim::BusFrame;
using sim::BusMonitor;

TEST(BusMonitor, RecordsWhatCrossedTheBusWithoutChangingIt) {
  SensorRig rig;
  BusMonitor monitor(rig.sensor);
  std::vector<std::string> trace;
  monitor.setTrace([&trace](const std::string& line) { trace.push_back(line); });
  monitor.exchange(0x5600);
  monitor.exchange(0x0000);
  monitor.frameStart();
  monitor.frameEnd(0x1234, 12);
  monitor.exchange(0xB712);
  const std::vector<BusFrame> expected = {
      {0x5600, 0x0000, 16}, {0x0000, 27150, 16}, {0x1234, 0x0000, 12}, {0xB712, 0x0000, 16}};
  EXPECT_EQ(monitor.frames(), expected);
  ASSERT_EQ(trace.size(), 4u);
  EXPECT_EQ(trace[1], "spi mosi=0x0000 miso=0x6A0E");
  EXPECT_EQ(trace[2], "spi mosi=0x1234 miso=0x0000 bits=12");
  EXPECT_EQ(rig.sensor.peekRegister(STATUS), sim::SimSensor::kStatusSpiFrame);
  monitor.clear();
  monitor.setRecording(false);
  monitor.exchange(0x0000);
  EXPECT_TRUE(monitor.frames().empty());
  EXPECT_EQ(trace.size(), 5u);
}

TEST(BusMonitor, FormatsUpperCaseFourDigitHex) {
  struct Case {
    BusFrame frame;
    const char* text;
  };
  for (const Case& c : {Case{{0xB712, 0x0000, 16}, "spi mosi=0xB712 miso=0x0000"},
                        Case{{0x0004, 0xABCD, 16}, "spi mosi=0x0004 miso=0xABCD"},
                        Case{{0x00FF, 0x0001, 8}, "spi mosi=0x00FF miso=0x0001 bits=8"}}) {
    EXPECT_EQ(BusMonitor::format(c.frame), c.text);
  }
}

}  // namespace
}  // namespace vexa::testing
