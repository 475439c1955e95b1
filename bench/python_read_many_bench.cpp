// The C++ side of bench/python_bench.py: the twelve outputs read over the simulated USB card with
// its full-speed bus time on the wall clock, through the session vexa-cli and the Python module
// build (cli::CliSession), one register at a time and pipelined.

#include <benchmark/benchmark.h>

#include <sstream>

#include "cli/cli_session.h"
#include "registers/register_access.h"
#include "registers/register_pipeline.h"

namespace vexa {
namespace {

void BM_ReadTwelveOutputs(benchmark::State& state) {
  const bool pipelined = state.range(0) != 0;
  cli::CliOptions options;
  std::string error;
  cli::ParseArguments({"--simulate", "--interface", "usb", "dump"}, options, error);
  std::ostringstream err;
  cli::CliEnvironment environment;
  environment.simulatedBusTime = true;
  cli::CliSession session(options, err, environment);
  session.bringUp();
  AppContext& ctx = session.ctx();
  std::vector<int16_t> rows;
  for (int16_t r = SUPPLY_OUT; r <= AUX_ADC; ++r) rows.push_back(r);
  std::vector<AccessState> results(rows.size());
  std::vector<double> values(rows.size());
  for (auto _ : state) {
    if (pipelined) {
      ReadRegistersPipelined(ctx, rows.data(), rows.size(), results.data());
      for (size_t i = 0; i < rows.size(); ++i) values[i] = results[i].LastScaled;
    } else {
      for (size_t i = 0; i < rows.size(); ++i) {
        ReadRegister(ctx, rows[i]);
        values[i] = ctx.access.LastScaled;
      }
    }
    benchmark::DoNotOptimize(values.data());
  }
  if (!session.session().health().ok()) state.SkipWithError("a transfer failed");
}
BENCHMARK(BM_ReadTwelveOutputs)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
