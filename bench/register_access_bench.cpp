// Register reads per second over the simulated transports, and the share of the time spent
// outside the waits the transports prescribe (0.1 ms after every parallel-port frame; none on
// the USB card).

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "app/app_context.h"
#include "app/delay.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "platform/sim/bus_monitor.h"
#include "platform/sim/sim_parallel_port.h"
#include "platform/sim/sim_sensor.h"
#include "platform/sim/sim_usb_card.h"
#include "registers/register_access.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"

namespace vexa {
namespace {

using Seconds = std::chrono::duration<double>;

// The real busy loop, noting how long the program spends inside its waits.
class TimedBusyLoop : public BusyLoop {
 public:
  void spin(int32_t passes) override {
    const auto start = std::chrono::steady_clock::now();
    inner_.spin(passes);
    waited += Seconds(std::chrono::steady_clock::now() - start).count();
  }
  double waited = 0;

 private:
  linux_platform::LinuxBusyLoop inner_;
};

// A program whose selected transport reaches the simulated sensor.
struct Bench {
  Bench(int16_t interface, bool realWaits)
      : sensor(realWaits ? static_cast<Clock&>(realClock) : world.clock),
        monitor(sensor),
        usb(realWaits ? nullptr : &world.clock) {
    monitor.setRecording(false);
    port.attach(&monitor);
    usb.plug(0).attach(&monitor);
    AppContext& ctx = world.ctx;
    ctx.platform.port = &port;
    ctx.platform.usb = &usb;
    if (realWaits) {
      ctx.platform.clock = &realClock;
      ctx.platform.busy = &busy;
      CalibrateDelayQuickly(ctx, 0.05);
      busy.waited = 0;
    }
    ctx.settings.Interface = interface;
    ctx.settings.PortAddress = 0x378;
    if (interface == kInterfaceUsb) FindUsbCard(ctx);
  }

  testing::SimWorld world;
  linux_platform::LinuxClock realClock;
  TimedBusyLoop busy;
  sim::SimSensor sensor;
  sim::BusMonitor monitor;
  sim::SimParallelPort port{0x378};
  sim::SimUsbDriver usb;
};

void readLoop(benchmark::State& state, int16_t interface, bool realWaits) {
  Bench bench(interface, realWaits);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    ReadRegister(bench.world.ctx, XGYRO_OUT);
    benchmark::DoNotOptimize(bench.world.ctx.access.LastRaw);
  }
  const double total = Seconds(std::chrono::steady_clock::now() - start).count();
  state.counters["reads_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  if (realWaits && total > 0) state.counters["outside_waits"] = 1.0 - bench.busy.waited / total;
}

// The parallel port with its 0.1 ms frame pauses busy-waited on this processor.
void BM_ReadParallel(benchmark::State& state) {
  readLoop(state, kInterfaceParallel, true);
}
// The same with the waits on virtual time: the cost of the bit-banging and decoding alone.
void BM_ReadParallelWaitsSkipped(benchmark::State& state) {
  readLoop(state, kInterfaceParallel, false);
}
// The USB card: two-word transfers through the card's pipes; nothing to wait for.
void BM_ReadUsb(benchmark::State& state) {
  readLoop(state, kInterfaceUsb, true);
}

BENCHMARK(BM_ReadParallel)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_ReadParallelWaitsSkipped)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadUsb)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
