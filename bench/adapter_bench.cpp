// Register reads per second over the simulated FTDI MPSSE engine and the simulated spidev, with
// the real transport code above them (register access, the link, the MPSSE command builder or
// the spidev segments), and the host requests (USB transfers, ioctls) per register read.
//
// Against the goals, in the same run:
// - requests_vs_goal: requests per read over two (FTDI: one bulk write and one bulk read; spidev:
//   one SPI_IOC_MESSAGE per frame, so chip select is up during the pause); ratio 1 = goal;
// - host_over_bus: host-side reads per second over what the bus itself allows at the set clock
//   (1 MHz, 16 bits and the 0.1 ms pause per frame, two frames per read, from the simulated
//   engine's clock); above 1 means the program is not what limits the read rate.

#include <benchmark/benchmark.h>

#include <chrono>

#include "platform/sim/sim_sensor.h"
#include "registers/register_access.h"
#include "support/four_transports.h"

namespace vexa {
namespace {

using Seconds = std::chrono::duration<double>;

void readLoop(benchmark::State& state, int16_t interface) {
  testing::SimWorld world;
  sim::SimSensor sensor(world.clock);
  testing::TransportLink link(interface, sensor);
  link.monitor.setRecording(false);
  AppContext& ctx = link.w.ctx;
  const double busBefore = link.ftdiBoard->engine.busSeconds();
  const uint64_t requestsBefore = ctx.adapters.link ? ctx.adapters.link->requests() : 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    ReadRegister(ctx, XGYRO_OUT);
    benchmark::DoNotOptimize(ctx.access.LastRaw);
  }
  const double wall = Seconds(std::chrono::steady_clock::now() - start).count();
  const double reads = static_cast<double>(state.iterations());
  if (!ctx.adapters.link || reads == 0) {
    state.SkipWithError("the adapter did not open");
    return;
  }
  state.counters["reads_per_s"] = benchmark::Counter(reads, benchmark::Counter::kIsRate);
  const double requests = static_cast<double>(ctx.adapters.link->requests() - requestsBefore);
  state.counters["requests_per_read"] = requests / reads;
  state.counters["requests_vs_goal"] = requests / reads / 2;
  // Bus time per read: measured by the engine for FTDI; for spidev, 32 bits at 1 MHz and the
  // pause after each of the two frames.
  const double busPerRead = interface == kInterfaceFtdi
                                ? (link.ftdiBoard->engine.busSeconds() - busBefore) / reads
                                : 2 * (16e-6 + 100e-6);
  state.counters["bus_us_per_read"] = busPerRead * 1e6;
  if (wall > 0) state.counters["host_over_bus"] = (reads / wall) * busPerRead;
}

// FT232H at 1 MHz, mode 3, ADBUS3, 0.1 ms pauses: MPSSE bytes interpreted down to the pins.
void BM_ReadFtdiMpsse(benchmark::State& state) {
  readLoop(state, kInterfaceFtdi);
}
// spidev at 1 MHz, mode 3, 16-bit words: one SPI_IOC_MESSAGE per frame, two per read.
void BM_ReadSpidev(benchmark::State& state) {
  readLoop(state, kInterfaceSpidev);
}

BENCHMARK(BM_ReadFtdiMpsse)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReadSpidev)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
