// Pipelined reads against one register at a time, on the wall clock, over the simulated
// transports with their bus times:
//  - 12-channel log passes per second, both ways measured back to back in the same benchmark
//    (goal: pipelined at least 1.9 times as many on the parallel port, 8 times on the USB card);
//  - with the sensor at 819.2 samples a second and the data-ready wait on, the share of the
//    sensor's samples that reach the log file (goal: at least 99% over the USB card).
//
// Bus times, stated:
//  - parallel port: the 0.1 ms pause after every frame, busy-waited as on the bench, and
//    kPortAccessSeconds for each port access (a legacy port's I/O cycle; the simulated port
//    itself takes next to nothing);
//  - USB card: the simulated card's own bus time on the wall clock (1 ms per bulk request on a
//    full-speed link, 125 us on a high-speed one; 1 us per SPI bit; the word delay between
//    words), plus kCardOpenSeconds for every open of the card where the driver does not keep it
//    open (listing the bus, opening the device, claiming and releasing its interface, closing
//    it). That cost is an assumption, not a measurement: no card was at hand. The ratios are
//    given without it as well.

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "app/app_context.h"
#include "app/delay.h"
#include "datalog/log_run.h"
#include "datalog/sampling.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "registers/data_ready_wait.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"

namespace vexa {
namespace {

using Seconds = std::chrono::duration<double>;
using SteadyClock = std::chrono::steady_clock;

constexpr double kPortAccessSeconds = 1e-6;
constexpr double kCardOpenSeconds = 4e-3;
constexpr double kParallelGoal = 1.9;
constexpr double kUsbGoal = 8.0;
constexpr double kShareGoal = 0.99;
constexpr int16_t kFastestSampling = 0x01;  // 819.2 samples a second

void spin(double seconds) {
  const auto end =
      SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(Seconds(seconds));
  while (SteadyClock::now() < end) {
  }
}

// The simulated port, each access taking a legacy port's I/O cycle.
class TimedPort : public PortIo {
 public:
  explicit TimedPort(PortIo& inner) : inner_(inner) {}
  void vbOut(uint16_t port, uint8_t value) override {
    spin(seconds);
    inner_.vbOut(port, value);
  }
  uint8_t vbInp(uint16_t port) override {
    spin(seconds);
    return inner_.vbInp(port);
  }
  double seconds = kPortAccessSeconds;

 private:
  PortIo& inner_;
};

// The card's driver with the cost of an open: paid at every open (a driver that opens and closes
// the card for each operation), or once (a driver that keeps it open, as the libusb one does).
class OpeningDriver : public UsbDriver {
 public:
  explicit OpeningDriver(UsbDriver& inner) : inner_(inner) {}
  UsbHandle open(const std::string& name) override {
    if (keepOpen) {
      auto it = held_.find(name);
      if (it != held_.end()) return it->second;
    }
    spin(openSeconds);
    const UsbHandle h = inner_.open(name);
    if (keepOpen && h != 0) held_[name] = h;
    return h;
  }
  bool request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
               size_t outLength, uint32_t& returned) override {
    return inner_.request(handle, code, in, inLength, out, outLength, returned);
  }
  void close(UsbHandle handle) override {
    if (!keepOpen) inner_.close(handle);
  }
  bool keepOpen = false;
  double openSeconds = kCardOpenSeconds;

 private:
  UsbDriver& inner_;
  std::map<std::string, UsbHandle> held_;
};

// A program on the real clock whose selected transport reaches the simulated sensor, sampling
// at 819.2 samples a second.
struct Bench {
  Bench(int16_t interface, bool highSpeed)
      : sensor(realClock), usb(nullptr), timedPort(port), opening(usb) {
    sim::SimUsbCardConfig card;
    card.pipe3PacketSize = highSpeed ? 512 : 64;
    card.wallClockBusTime = true;
    sim::SimUsbCard& c = usb.plug(0, card);
    c.attach(&sensor);
    c.setRecording(false);
    port.attach(&sensor);
    AppContext& ctx = world.ctx;
    ctx.platform.port = &timedPort;
    ctx.platform.usb = &opening;
    ctx.platform.clock = &realClock;
    ctx.platform.busy = &busy;
    CalibrateDelayQuickly(ctx, 0.05);
    ctx.settings.Interface = interface;
    ctx.settings.PortAddress = 0x378;
    if (interface == kInterfaceUsb) {
      FindUsbCard(ctx);
      uint8_t delay = ctx.usb.WordDelay;  // as the program sets the card up at start
      UsbSetWordDelay(ctx, delay);
    }
  }

  testing::SimWorld world;
  linux_platform::LinuxClock realClock;
  linux_platform::LinuxBusyLoop busy;
  sim::SimSensor sensor;
  sim::SimParallelPort port{0x378};
  sim::SimUsbDriver usb;
  TimedPort timedPort;
  OpeningDriver opening;
};

datalog::ChannelList allChannels() {
  datalog::ChannelList all;
  for (int16_t i = 1; i <= datalog::kChannelCount; ++i) all.push_back(i);
  return all;
}

// Seconds per 12-channel pass of the log's reader, over `passes` passes.
double passSeconds(Bench& bench, bool pipelined, int passes) {
  AppContext& ctx = bench.world.ctx;
  const datalog::ChannelList all = allChannels();
  datalog::SampleValues values;
  const auto start = SteadyClock::now();
  for (int p = 0; p < passes; ++p) {
    if (pipelined)
      datalog::ReadSamplePipelined(ctx, all, values);
    else
      datalog::ReadSampleByRegister(ctx, all, values);
    benchmark::DoNotOptimize(values.data());
  }
  return Seconds(SteadyClock::now() - start).count() / passes;
}

// One-at-a-time and pipelined passes back to back; the card kept open for the pipelined ones
// and, in `singleKeepsOpen`, for the single ones too.
void speedup(benchmark::State& state, int16_t interface, double goal, bool singleKeepsOpen,
             double portAccessSeconds) {
  Bench bench(interface, false);
  bench.timedPort.seconds = portAccessSeconds;
  const int passes = interface == kInterfaceUsb ? 20 : 100;
  double single = 0, piped = 0;
  for (auto _ : state) {
    bench.opening.keepOpen = singleKeepsOpen;
    single += passSeconds(bench, false, passes);
    bench.opening.keepOpen = true;
    piped += passSeconds(bench, true, passes);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["single_passes_per_s"] = n / single;
  state.counters["pipelined_passes_per_s"] = n / piped;
  state.counters["speedup"] = single / piped;
  state.counters["speedup_vs_goal"] = single / piped / goal;
  if (!bench.world.messages.shown.empty()) state.SkipWithError("a transfer failed");
}

// The parallel port: 24 frames per pass one at a time, 13 pipelined.
void BM_PassesParallel(benchmark::State& state) {
  speedup(state, kInterfaceParallel, kParallelGoal, false, kPortAccessSeconds);
}
// The same with port accesses that take no time: only the frame pauses count.
void BM_PassesParallelFreeAccess(benchmark::State& state) {
  speedup(state, kInterfaceParallel, kParallelGoal, false, 0);
}
// The full-speed card: 12 transfers with an open each, against one transfer on a card kept
// open.
void BM_PassesUsb(benchmark::State& state) {
  speedup(state, kInterfaceUsb, kUsbGoal, false, 0);
}
// The same with the card kept open both ways: pipelining alone.
void BM_PassesUsbKeptOpen(benchmark::State& state) {
  speedup(state, kInterfaceUsb, kUsbGoal, true, 0);
}

// Notes when the first and the last sample of the file were taken.
class SampleTimes : public datalog::LogHost {
 public:
  bool cancelRequested() override { return false; }
  void progress(const datalog::LogProgress& p) override {
    const auto now = SteadyClock::now();
    if (p.sample == 1) first = now;
    last = now;
    samples = p.sample;
  }
  SteadyClock::time_point first, last;
  int64_t samples = 0;
};

// A 12-channel log with the data-ready wait: the samples in the file against those the sensor
// made from the first to the last of them.
void share(benchmark::State& state, int16_t interface, bool highSpeed, bool pipelined) {
  Bench bench(interface, highSpeed);
  bench.opening.keepOpen = true;
  AppContext& ctx = bench.world.ctx;
  const double period = SamplePeriodSeconds(kFastestSampling);
  datalog::LogSettings settings;
  settings.samplesPerFile = 1000;
  settings.channels = allChannels();
  settings.directory = bench.world.folder();
  double captured = 0, made = 0;
  for (auto _ : state) {
    SampleTimes host;
    datalog::LogRun run(ctx, settings, host);
    datalog::ChooseSampling(run, {pipelined, true});
    run.run();
    captured += static_cast<double>(host.samples - 1);
    made += Seconds(host.last - host.first).count() / period;
  }
  state.counters["samples_per_s"] = captured / made / period;
  state.counters["share"] = captured / made;
  state.counters["share_vs_goal"] = captured / made / kShareGoal;
  if (!bench.world.messages.shown.empty()) state.SkipWithError("the run ended early");
}

// The same on virtual time: the bus times pass exactly as stated, whatever else the machine is
// doing, so this is the share the transports allow; the wall-clock figure above also carries
// how much processor this program got.
void shareOnVirtualTime(benchmark::State& state, int16_t interface, bool highSpeed,
                        bool pipelined) {
  testing::SimWorld world;
  sim::SimSensor sensor(world.clock);
  sim::SimParallelPort port{0x378};
  sim::SimUsbDriver usb(&world.clock);
  sim::SimUsbCardConfig card;
  card.pipe3PacketSize = highSpeed ? 512 : 64;
  usb.plug(0, card).attach(&sensor);
  port.attach(&sensor);
  AppContext& ctx = world.ctx;
  ctx.platform.port = &port;
  ctx.platform.usb = &usb;
  ctx.settings.Interface = interface;
  ctx.settings.PortAddress = 0x378;
  if (interface == kInterfaceUsb) {
    FindUsbCard(ctx);
    uint8_t delay = ctx.usb.WordDelay;
    UsbSetWordDelay(ctx, delay);
  }
  const double period = SamplePeriodSeconds(kFastestSampling);
  datalog::LogSettings settings;
  settings.samplesPerFile = 1000;
  settings.channels = allChannels();
  settings.directory = world.folder();
  double captured = 0, made = 0;
  for (auto _ : state) {
    struct Times : datalog::LogHost {
      explicit Times(Clock& c) : clock(c) {}
      bool cancelRequested() override { return false; }
      void progress(const datalog::LogProgress& p) override {
        (p.sample == 1 ? first : last) = clock.monotonicSeconds();
        samples = p.sample;
      }
      Clock& clock;
      double first = 0, last = 0;
      int64_t samples = 0;
    } host(world.clock);
    datalog::LogRun run(ctx, settings, host);
    datalog::ChooseSampling(run, {pipelined, true});
    run.run();
    captured += static_cast<double>(host.samples - 1);
    made += (host.last - host.first) / period;
  }
  state.counters["share"] = captured / made;
  state.counters["share_vs_goal"] = captured / made / kShareGoal;
  if (!world.messages.shown.empty()) state.SkipWithError("the run ended early");
}

void BM_ShareUsbHighSpeedPipelined(benchmark::State& state) {
  share(state, kInterfaceUsb, true, true);
}
void BM_ShareUsbHighSpeedSingle(benchmark::State& state) {
  share(state, kInterfaceUsb, true, false);
}
void BM_ShareUsbFullSpeedPipelined(benchmark::State& state) {
  share(state, kInterfaceUsb, false, true);
}
void BM_ShareParallelPipelined(benchmark::State& state) {
  share(state, kInterfaceParallel, false, true);
}
void BM_VirtualShareUsbHighSpeedPipelined(benchmark::State& state) {
  shareOnVirtualTime(state, kInterfaceUsb, true, true);
}
void BM_VirtualShareUsbHighSpeedSingle(benchmark::State& state) {
  shareOnVirtualTime(state, kInterfaceUsb, true, false);
}
void BM_VirtualShareUsbFullSpeedPipelined(benchmark::State& state) {
  shareOnVirtualTime(state, kInterfaceUsb, false, true);
}
void BM_VirtualShareParallelPipelined(benchmark::State& state) {
  shareOnVirtualTime(state, kInterfaceParallel, false, true);
}

BENCHMARK(BM_PassesParallel)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PassesParallelFreeAccess)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PassesUsb)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PassesUsbKeptOpen)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ShareUsbHighSpeedPipelined)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_ShareUsbHighSpeedSingle)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ShareUsbFullSpeedPipelined)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_ShareParallelPipelined)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_VirtualShareUsbHighSpeedPipelined)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_VirtualShareUsbHighSpeedSingle)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_VirtualShareUsbFullSpeedPipelined)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_VirtualShareParallelPipelined)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
