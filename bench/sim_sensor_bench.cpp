// How many frames per second the simulated sensor answers, so that it never limits a transport.
#include <benchmark/benchmark.h>

#include "sim/bus_monitor.h"
#include "sim/sim_clock.h"
#include "sim/sim_sensor.h"

namespace {

using vexa::sim::BusMonitor;
using vexa::sim::SimClock;
using vexa::sim::SimSensor;
using vexa::sim::SimSensorConfig;

// The sensor at its fastest sample rate: SMPL_PRD 0, one sample per 0.61 ms (1638 a second).
SimSensorConfig fastest() {
  SimSensorConfig config;
  config.smplPrd = 0x00;
  return config;
}

// Reads the twelve outputs in a loop, with `frameSeconds` of virtual time per frame (10 us is a
// 1.6 MHz bus; 0 isolates the frame handling). Rates are per second of wall-clock time.
void runReadLoop(benchmark::State& state, vexa::sim::SpiSlave& slave, SimClock& clock,
                 double frameSeconds) {
  int64_t frames = 0;
  uint16_t sink = 0;
  for (auto _ : state) {
    for (uint16_t address = 0x02; address <= 0x18; address += 2) {
      sink ^= slave.exchange(static_cast<uint16_t>(address << 8));
      clock.advance(frameSeconds);
      ++frames;
    }
  }
  benchmark::DoNotOptimize(sink);
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

void BM_SensorFrames(benchmark::State& state) {
  SimClock clock;
  SimSensor sensor(clock, fastest());
  runReadLoop(state, sensor, clock, state.range(0) * 1e-6);
}
BENCHMARK(BM_SensorFrames)->ArgName("frame_us")->Arg(0)->Arg(10)->Arg(100)->UseRealTime();

void BM_SensorFramesThroughMonitor(benchmark::State& state) {
  SimClock clock;
  SimSensor sensor(clock, fastest());
  BusMonitor monitor(sensor);
  monitor.setRecording(false);
  runReadLoop(state, monitor, clock, 10e-6);
}
BENCHMARK(BM_SensorFramesThroughMonitor)->UseRealTime();

// Writes, the other half of the traffic: offsets, then a flash update now and then.
void BM_SensorWrites(benchmark::State& state) {
  SimClock clock;
  SimSensor sensor(clock, fastest());
  int64_t frames = 0;
  uint8_t value = 0;
  for (auto _ : state) {
    sensor.exchange(static_cast<uint16_t>(0x8000 | 0x1B00 | 0x00));
    sensor.exchange(static_cast<uint16_t>(0x8000 | 0x1A00 | value++));
    clock.advance(20e-6);
    frames += 2;
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SensorWrites)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
