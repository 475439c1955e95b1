// Register reads per second of wall-clock time through a Session against the same reads made
// bare (ReadRegister on the session's context) and against the transport's bound: the simulated
// full-speed USB card spends its modelled round trip per transfer on the wall clock, so no loop
// can read faster than one register per kFullSpeedRoundTripSeconds. The session's checks of the
// link's state must cost next to nothing beside that.

#include <benchmark/benchmark.h>

#include <chrono>

#include "registers/register_access.h"
#include "session/session.h"
#include "sim/bus_time_model.h"
#include "sim/recording_services.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

using Seconds = std::chrono::duration<double>;

template <class F>
double ratePerSecond(int reads, F&& read) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < reads; ++i) read();
  return reads / Seconds(std::chrono::steady_clock::now() - start).count();
}

void BM_SessionReadUsb(benchmark::State& state) {
  testing::SimWorld folder;
  sim::RecordingMessageService messages;
  sim::RecordingDiagnostics diagnostics;
  SessionOptions options;
  options.simulate = true;
  options.interface = kInterfaceUsb;
  SessionPlace place;
  place.workingDirectory = folder.folder();
  place.simulatedBusTime = true;
  Session session(options, messages, diagnostics, place);
  if (!session.open() || !session.checkSensor()) {
    state.SkipWithError("the simulated card did not open");
    return;
  }
  const int reads = static_cast<int>(state.range(0));
  double viaSession = 0, bare = 0;
  bool failed = false;
  for (auto _ : state) {
    // Both in the same run, alternating, so a busy machine weighs on both alike.
    viaSession = ratePerSecond(reads, [&] { failed |= !session.read(XGYRO_OUT); });
    bare = ratePerSecond(reads, [&] { ReadRegister(session.ctx(), XGYRO_OUT); });
  }
  if (failed) state.SkipWithError("a read failed");
  const double bound = 1.0 / sim::kFullSpeedRoundTripSeconds;
  state.counters["session_reads_per_s"] = viaSession;
  state.counters["bare_reads_per_s"] = bare;
  state.counters["bound_reads_per_s"] = bound;
  state.counters["session_vs_bare"] = viaSession / bare;    // goal: at least 0.95
  state.counters["session_vs_bound"] = viaSession / bound;  // goal: at least 0.95
}

BENCHMARK(BM_SessionReadUsb)->Arg(300)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
