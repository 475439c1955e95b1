// Register reads per second of wall-clock time over the simulated transports, and where the time
// goes: the share spent in the waits the parallel port prescribes (0.1 ms after every frame),
// the time those waits measured against the time they asked for, and on the USB card the bus
// time of a full-speed round trip per read (kFullSpeedRoundTripSeconds) against the whole.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "app/app_context.h"
#include "app/delay.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "sim/bus_monitor.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "registers/register_access.h"
#include "sim_bench_world.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"

namespace vexa {
namespace {

using Seconds = std::chrono::duration<double>;

// The real busy loop, noting how long the program spends inside its waits and how many passes
// (each DelayCount passes is a 10-us step asked for) it was asked to make.
class TimedBusyLoop : public BusyLoop {
 public:
  void spin(int32_t passes) override {
    const auto start = std::chrono::steady_clock::now();
    inner_.spin(passes);
    waited += Seconds(std::chrono::steady_clock::now() - start).count();
    asked += passes;
  }
  double waited = 0;
  double asked = 0;  // passes

 private:
  linux_platform::LinuxBusyLoop inner_;
};

// A program whose selected transport reaches the simulated sensor.
struct Bench : SimBenchWorld<TimedBusyLoop> {
  Bench(int16_t interface, bool realWaits) : SimBenchWorld(interface, realWaits) {
    busy.waited = 0;  // the calibration's waits are not the reads'
    busy.asked = 0;
    if (interface == kInterfaceUsb) FindUsbCard(world.ctx);
  }
};

void readLoop(benchmark::State& state, int16_t interface, bool realWaits) {
  Bench bench(interface, realWaits);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    ReadRegister(bench.world.ctx, XGYRO_OUT);
    benchmark::DoNotOptimize(bench.world.ctx.access.LastRaw);
  }
  const double total = Seconds(std::chrono::steady_clock::now() - start).count();
  const double reads = static_cast<double>(state.iterations());
  state.counters["reads_per_s"] = reads / total;
  if (!realWaits || total <= 0) return;
  if (interface == kInterfaceParallel) {
    // Asked: 10 us per DelayCount passes. Measured over asked near 1 means the waits are as long
    // as they should be; the share in waits is how much of a read the protocol itself demands.
    const double askedSeconds = bench.busy.asked / bench.world.ctx.delay.DelayCount * 1e-5;
    state.counters["share_in_waits"] = bench.busy.waited / total;
    if (askedSeconds > 0)
      state.counters["waits_measured_over_asked"] = bench.busy.waited / askedSeconds;
  } else {
    state.counters["bus_time_share"] = reads * sim::kFullSpeedRoundTripSeconds / total;
  }
}

// The parallel port with its 0.1 ms frame pauses busy-waited on this processor.
void BM_ReadParallel(benchmark::State& state) {
  readLoop(state, kInterfaceParallel, true);
}
// The same with the waits on virtual time: the cost of the bit-banging and decoding alone.
void BM_ReadParallelWaitsSkipped(benchmark::State& state) {
  readLoop(state, kInterfaceParallel, false);
}
// The USB card: two-word transfers through a full-speed card's pipes, with its bus time on the
// wall clock.
void BM_ReadUsb(benchmark::State& state) {
  readLoop(state, kInterfaceUsb, true);
}

BENCHMARK(BM_ReadParallel)->Unit(benchmark::kMicrosecond)->MinTime(0.5)->UseRealTime();
BENCHMARK(BM_ReadParallelWaitsSkipped)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReadUsb)->Unit(benchmark::kMicrosecond)->MinTime(0.5)->UseRealTime();

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
