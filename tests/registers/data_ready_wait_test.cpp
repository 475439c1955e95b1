#include "registers/data_ready_wait.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "registers/register_access.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"

namespace vexa {
namespace {

// A program world whose transport reaches a simulated sensor sampling on the world's clock.
struct Link {
  explicit Link(int16_t interface) : sensor(w.clock), usb(&w.clock) {
    port.attach(&sensor);
    card = &usb.plug(0);
    card->attach(&sensor);
    w.ctx.platform.port = &port;
    w.ctx.platform.usb = &usb;
    w.ctx.settings.PortAddress = 0x378;
    w.ctx.settings.Interface = interface;
    if (interface == kInterfaceUsb) FindUsbCard(w.ctx);
  }
  double now() { return w.clock.monotonicSeconds(); }

  testing::SimWorld w;
  sim::SimSensor sensor;
  sim::SimParallelPort port{0x378};
  sim::SimUsbDriver usb;
  sim::SimUsbCard* card = nullptr;
};

const int16_t kTransports[] = {kInterfaceParallel, kInterfaceUsb};

TEST(DataReadyWait, PeriodsAgreeWithTheSensorForEverySetting) {
  for (int32_t smplPrd = 0; smplPrd < 256; ++smplPrd)
    EXPECT_NEAR(SamplePeriodSeconds(smplPrd),
                sim::SimSensor::samplePeriodSeconds(static_cast<uint16_t>(smplPrd)), 1e-12)
        << smplPrd;
  EXPECT_NEAR(DataReadyTimeoutSeconds(0x01), 2 * 1.2207e-3 + 0.05, 1e-9);
  EXPECT_NEAR(DataReadyTimeoutSeconds(0xFF), 2 * 128 * 18.921e-3 + 0.05, 1e-9);
}

// At 819.2 samples a second, each wait returns the next sample: no sample is missed and none
// is returned twice, so n waits span n sample periods.
TEST(DataReadyWait, ConsecutiveWaitsReturnConsecutiveSamples) {
  const double period = SamplePeriodSeconds(0x01);
  for (int16_t interface : kTransports) {
    Link link(interface);
    ASSERT_EQ(WaitForNewData(link.w.ctx, XGYRO_OUT, 1.0), NewDataWait::Arrived);
    const double first = link.now();
    constexpr int kWaits = 300;
    for (int i = 0; i < kWaits; ++i) {
      ASSERT_EQ(WaitForNewData(link.w.ctx, XGYRO_OUT, DataReadyTimeoutSeconds(0x01)),
                NewDataWait::Arrived)
          << interface << " wait " << i;
      EXPECT_EQ(link.w.ctx.access.LastNewData, 32768);
    }
    EXPECT_NEAR((link.now() - first) / period, kWaits, 1.0) << interface;
  }
}

TEST(DataReadyWait, ASensorThatStopsSamplingTimesOutAtTheBound) {
  for (int16_t interface : kTransports) {
    Link link(interface);
    WriteRegister(link.w.ctx, SLP_CNT, 20);  // asleep for ten seconds: no samples, zeros read
    const double timeout = DataReadyTimeoutSeconds(0x01);
    const double start = link.now();
    EXPECT_EQ(WaitForNewData(link.w.ctx, ZACCL_OUT, timeout), NewDataWait::TimedOut);
    EXPECT_GE(link.now() - start, timeout) << interface;
    EXPECT_LT(link.now() - start, timeout + 1e-3) << interface;
    EXPECT_TRUE(link.w.messages.shown.empty());
  }
}

TEST(DataReadyWait, AFailedCardEndsTheWaitAtOnce) {
  Link link(kInterfaceUsb);
  link.card->failRequest(usbreq::kBulkWrite);
  const double start = link.now();
  EXPECT_EQ(WaitForNewData(link.w.ctx, XGYRO_OUT, 1.0), NewDataWait::TransportFailed);
  EXPECT_EQ(link.w.messages.texts(), std::vector<std::string>{"Error Writing SPI"});
  EXPECT_LT(link.now() - start, 0.01);
  // Unusable from the start: not a single read.
  EXPECT_EQ(WaitForNewData(link.w.ctx, XGYRO_OUT, 1.0), NewDataWait::TransportFailed);
  EXPECT_EQ(link.w.messages.shown.size(), 1u);
}

}  // namespace
}  // namespace vexa
