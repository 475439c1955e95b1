// Register reads per second over the simulated USB card, FTDI MPSSE engine and spidev, with the
// real transport code above them (register access, the link, the MPSSE command builder or the
// spidev segments), and the host requests (USB transfers, ioctls) per register read. Every
// bound is the bus time model's own figure (sim/bus_time_model.h): full-speed card,
// FT232H at 1 MHz, spidev at 1 MHz, each with the 0.1 ms pause after every frame.
//
// Against the goals, in the same run:
// - requests_vs_goal: requests per read over two (FTDI: one bulk write and one bulk read; spidev:
//   one SPI_IOC_MESSAGE per frame, so chip select is up during the pause); ratio 1 = goal;
// - BM_Host*: bus time on the virtual clock; host_over_bus is host-side reads per second over
//   what the modelled bus allows; above 1 means the program is not what limits the read rate;
// - BM_Wall*: the program's simulation, bus time on the wall clock and the pause busy-waited;
//   measured_over_model is reads per second over the model's; it must not exceed 1 (the
//   simulation is never faster than the bus it models), and near 1 it is the bus that limits.

#include <benchmark/benchmark.h>

#include <chrono>

#include "sim/bus_time_model.h"
#include "sim/sim_ftdi_io.h"
#include "sim/sim_sensor.h"
#include "sim/sim_spidev.h"
#include "registers/register_access.h"
#include "sim_bench_world.h"
#include "support/four_transports.h"
#include "transport/adapter/adapter_spi.h"
#include "transport/ftdi/mpsse_commands.h"

namespace vexa {
namespace {

using Seconds = std::chrono::duration<double>;

// The model's bus time of one register read (two frames) on each transport.
double modelSecondsPerRead(int16_t interface) {
  switch (interface) {
    case kInterfaceUsb:
      return sim::roundTripSeconds(sim::kFullSpeedRequestSeconds,
                                   sim::cardSpiSeconds(2, 1e-6, 25e-6));
    case kInterfaceFtdi: {
      const mpsse::SpiSetup setup;  // FT232H, 1 MHz, 0.1 ms pause
      return sim::ftdiBatchSeconds(setup.chip, mpsse::framesSeconds(setup, 2));
    }
    default:
      return 2 * sim::spidevFrameSeconds(1e6, 100e-6);
  }
}

void hostLoop(benchmark::State& state, int16_t interface) {
  testing::SimWorld world;
  sim::SimSensor sensor(world.clock);
  testing::TransportLink link(interface, sensor);
  link.monitor.setRecording(false);
  AppContext& ctx = link.w.ctx;
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
  state.counters["bus_us_per_read"] = modelSecondsPerRead(interface) * 1e6;
  if (wall > 0) state.counters["host_over_bus"] = (reads / wall) * modelSecondsPerRead(interface);
}

// FT232H at 1 MHz, mode 3, ADBUS3, 0.1 ms pauses: MPSSE bytes interpreted down to the pins.
void BM_HostFtdiMpsse(benchmark::State& state) {
  hostLoop(state, kInterfaceFtdi);
}
// spidev at 1 MHz, mode 3, 16-bit words: one SPI_IOC_MESSAGE per frame, two per read.
void BM_HostSpidev(benchmark::State& state) {
  hostLoop(state, kInterfaceSpidev);
}

// The program's simulation as --simulate runs it: real clock and calibrated busy loop, every
// simulated device spending its bus time on the wall clock.
void wallLoop(benchmark::State& state, int16_t interface) {
  SimBenchWorld<> bench(kInterfaceNone, true);
  sim::SimFtdiIo ftdi;
  ftdi.plug(sim::SimFtdiIo::ft232h()).engine.attach(&bench.monitor);
  ftdi.spendBusTime({nullptr, true});
  sim::SimSpidev spidev;
  spidev.attach(&bench.monitor);
  spidev.spendBusTime({nullptr, true});
  AppContext& ctx = bench.world.ctx;
  ctx.platform.ftdi = &ftdi;
  ctx.platform.spidev = &spidev;
  ctx.settings.Interface = interface;
  if (interface == kInterfaceUsb) FindUsbCard(ctx);
  if (IsAdapterInterface(interface) && !OpenAdapter(ctx, interface)) {
    state.SkipWithError("the adapter did not open");
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    ReadRegister(ctx, XGYRO_OUT);
    benchmark::DoNotOptimize(ctx.access.LastRaw);
  }
  const double wall = Seconds(std::chrono::steady_clock::now() - start).count();
  const double reads = static_cast<double>(state.iterations());
  const double model = 1.0 / modelSecondsPerRead(interface);
  state.counters["reads_per_s"] = reads / wall;
  state.counters["model_reads_per_s"] = model;
  state.counters["measured_over_model"] = reads / wall / model;
  state.counters["goal_at_most"] = 1;
  CloseAdapter(ctx);
}

void BM_WallUsbCard(benchmark::State& state) {
  wallLoop(state, kInterfaceUsb);
}
void BM_WallFtdiMpsse(benchmark::State& state) {
  wallLoop(state, kInterfaceFtdi);
}
void BM_WallSpidev(benchmark::State& state) {
  wallLoop(state, kInterfaceSpidev);
}

BENCHMARK(BM_HostFtdiMpsse)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_HostSpidev)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_WallUsbCard)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WallFtdiMpsse)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WallSpidev)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
