#include "datalog/sampling.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "sim/bus_monitor.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "registers/data_ready_wait.h"
#include "registers/register_access.h"
#include "support/file_lines.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"

namespace vexa::datalog {
namespace {

using vexa::testing::fileLines;

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
    out.push_back(line.substr(start, comma - start));
  return out;
}

class Host : public LogHost {
 public:
  bool cancelRequested() override { return false; }
  void progress(const LogProgress& p) override {
    if (afterSample) afterSample(p.sample);
  }
  std::function<void(int64_t)> afterSample;
};

// A log run over a transport to the simulated sensor, which runs on the world's clock unless
// `frozen`: then on a clock of its own, moved on by one sample period after each sample, so two
// runs see the same samples whatever their reads cost.
struct LogLink {
  LogLink(int16_t interface, bool frozen)
      : sensor(frozen ? sensorClock : w.clock), monitor(sensor), usb(&w.clock) {
    monitor.setRecording(false);
    port.attach(&monitor);
    card = &usb.plug(0);
    card->attach(&monitor);
    w.ctx.platform.port = &port;
    w.ctx.platform.usb = &usb;
    w.ctx.settings.PortAddress = 0x378;
    w.ctx.settings.Interface = interface;
    if (interface == kInterfaceUsb) FindUsbCard(w.ctx);
    settings.directory = w.folder();
    settings.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    settings.sampleDelayMs = 0;
    if (frozen) host.afterSample = [this](int64_t) { nextSample(); };
  }
  void nextSample() { sensorClock.advance(SamplePeriodSeconds(0x01) * 1.001); }
  LogResult run(const SamplingChoice& choice) {
    LogRun r(w.ctx, settings, host);
    ChooseSampling(r, choice);
    return r.run();
  }
  std::vector<std::string> lines() { return fileLines(w.folder() + "/DATALOG_1.csv"); }

  testing::SimWorld w;
  sim::SimClock sensorClock;
  sim::SimSensor sensor;
  sim::BusMonitor monitor;
  sim::SimParallelPort port{0x378};
  sim::SimUsbDriver usb;
  sim::SimUsbCard* card = nullptr;
  LogSettings settings;
  Host host;
};

ChannelList outputs() {
  ChannelList all;
  for (int16_t i = SUPPLY_OUT; i <= AUX_ADC; ++i) all.push_back(i);
  return all;
}

TEST(LogSampling, PipelinedRunsWriteTheSameSamplesInFewerFrames) {
  for (int16_t interface : {kInterfaceParallel, kInterfaceUsb}) {
    for (const ChannelList& channels : {outputs(), ChannelList{XGYRO_OUT}, ChannelList{1, 7, 12}}) {
      LogLink single(interface, true), piped(interface, true);
      single.settings.samplesPerFile = piped.settings.samplesPerFile = 20;
      single.settings.channels = piped.settings.channels = channels;
      single.monitor.setRecording(true);
      piped.monitor.setRecording(true);
      EXPECT_EQ(single.run({false, false}).outcome, LogOutcome::Completed);
      EXPECT_EQ(piped.run({true, false}).outcome, LogOutcome::Completed);
      const auto want = single.lines(), got = piped.lines();
      ASSERT_EQ(got.size(), 27u);
      for (size_t i = 7; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]) << interface << " " << i;
      const size_t n = channels.size();
      EXPECT_EQ(single.monitor.frames().size(), 20 * 2 * n);
      EXPECT_EQ(piped.monitor.frames().size(), 20 * (n + 1)) << interface;
    }
  }
}

// With the sensor at 819.2 samples a second, every sample reaches the file once: n lines span
// n sample periods, and each line's first channel carries its new-data flag. The sample delay
// does not apply.
TEST(LogSampling, DataReadyRunsTakeEverySampleOfTheSensor) {
  const double period = SamplePeriodSeconds(0x01);
  for (int16_t interface : {kInterfaceParallel, kInterfaceUsb}) {
    for (bool pipelined : {false, true}) {
      LogLink link(interface, false);
      link.settings.samplesPerFile = 300;
      link.settings.sampleDelayMs = 5;
      link.settings.channels = {XGYRO_OUT, YGYRO_OUT, ZACCL_OUT};
      double first = 0, last = 0;
      link.host.afterSample = [&](int64_t s) {
        (s == 1 ? first : last) = link.w.clock.monotonicSeconds();
      };
      EXPECT_EQ(link.run({pipelined, true}).outcome, LogOutcome::Completed);
      const std::string what = std::to_string(interface) + (pipelined ? " pipelined" : "");
      EXPECT_NEAR((last - first) / period, 299, 1.0) << what;
      const auto lines = link.lines();
      ASSERT_EQ(lines.size(), 307u);
      for (size_t i = 7; i < lines.size(); ++i) ASSERT_EQ(fields(lines[i]).at(1), "1") << what;
      EXPECT_TRUE(link.w.messages.shown.empty()) << what;
    }
  }
}

TEST(LogSampling, ASensorThatStopsEndsTheRunWithItsSamplesWritten) {
  for (int16_t interface : {kInterfaceParallel, kInterfaceUsb}) {
    LogLink link(interface, false);
    link.settings.samplesPerFile = 100;
    link.settings.channels = {XGYRO_OUT, TEMP_OUT};
    double asleepAt = 0;
    link.host.afterSample = [&](int64_t s) {
      if (s != 20) return;
      WriteRegister(link.w.ctx, SLP_CNT, 20);  // ten seconds asleep
      asleepAt = link.w.clock.monotonicSeconds();
    };
    const LogResult result = link.run({true, true});
    EXPECT_EQ(result.outcome, LogOutcome::NoSample);
    EXPECT_EQ(result.samplesTaken, 20);
    EXPECT_EQ(link.lines().size(), 27u) << "the file holds the samples taken";
    EXPECT_EQ(link.w.messages.texts(), std::vector<std::string>{NoNewDataText(
                                           "X Gyro", DataReadyTimeoutSeconds(0x01) * 1000)});
    EXPECT_NE(link.w.messages.texts()[0].find("within 52 ms"), std::string::npos)
        << link.w.messages.texts()[0];
    EXPECT_LT(link.w.clock.monotonicSeconds() - asleepAt, DataReadyTimeoutSeconds(0x01) + 0.01);
  }
}

// A failed card: its own message, and the run ends rather than logging stale readings.
TEST(LogSampling, AFailedCardEndsADataReadyRun) {
  LogLink link(kInterfaceUsb, false);
  link.settings.samplesPerFile = 100;
  link.settings.channels = outputs();
  link.host.afterSample = [&](int64_t s) {
    if (s == 10) link.card->failRequest(usbreq::kBulkRead);
  };
  const LogResult result = link.run({true, true});
  EXPECT_EQ(result.outcome, LogOutcome::TransportLost);
  EXPECT_EQ(result.samplesTaken, 10);
  EXPECT_EQ(link.w.messages.texts(), std::vector<std::string>{"Error Reading SPI"});
}

// Fails the n-th bulk read from when it is armed, passing everything else to the card.
class FailNthRead : public UsbDriver {
 public:
  explicit FailNthRead(UsbDriver& inner) : inner_(inner) {}
  void arm(int n) { remaining_ = n; }
  UsbHandle open(const std::string& name) override { return inner_.open(name); }
  void close(UsbHandle handle) override { inner_.close(handle); }
  bool request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
               size_t outLength, uint32_t& returned) override {
    if (code == usbreq::kBulkRead && remaining_ > 0 && --remaining_ == 0) {
      returned = 0;
      return false;
    }
    return inner_.request(handle, code, in, inLength, out, outLength, returned);
  }

 private:
  UsbDriver& inner_;
  int remaining_ = 0;
};

// The card fails after the first channel showed new data, while the other channels are read:
// that sample holds no reading of theirs and must not reach the file as if it did.
TEST(LogSampling, ACardFailingAfterTheFirstChannelWritesNoStaleSample) {
  for (bool pipelined : {false, true}) {
    LogLink link(kInterfaceUsb, true);
    FailNthRead failing(link.usb);
    link.w.ctx.platform.usb = &failing;
    link.settings.samplesPerFile = 100;
    link.settings.channels = outputs();
    link.host.afterSample = [&](int64_t s) {
      link.nextSample();
      if (s == 10) failing.arm(2);  // the wait's read passes, the next one fails
    };
    link.nextSample();
    const LogResult result = link.run({pipelined, true});
    EXPECT_EQ(result.outcome, LogOutcome::TransportLost) << pipelined;
    EXPECT_EQ(result.samplesTaken, 10) << pipelined;
    EXPECT_EQ(link.w.messages.texts(), std::vector<std::string>{"Error Reading SPI"}) << pipelined;
  }
}

}  // namespace
}  // namespace vexa::datalog
