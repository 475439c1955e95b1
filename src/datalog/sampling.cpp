#include "datalog/sampling.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "registers/data_ready_wait.h"
#include "registers/register_access.h"
#include "registers/register_pipeline.h"

namespace vexa::datalog {

namespace {

ChannelReading readingOf(const AccessState& a) {
  return {a.LastNewData, a.LastRaw, a.LastScaled};
}

// What the gate of a data-ready run hands to its reader: the first channel's reading.
struct DataReadyState {
  bool pipelined = false;
  double timeoutSeconds = -1;  // known once SMPL_PRD has been read
  SampleValues values;         // the sample the gate took, all channels
};

void readAfterFirst(AppContext& ctx, const DataReadyState& state, const ChannelList& channels,
                    SampleValues& values);

bool waitForSample(AppContext& ctx, DataReadyState& state, const ChannelList& channels) {
  if (channels.empty()) return true;
  if (state.timeoutSeconds < 0) {
    ReadRegister(ctx, SMPL_PRD);
    state.timeoutSeconds = DataReadyTimeoutSeconds(ctx.access.LastRaw);
  }
  switch (WaitForNewData(ctx, channels.front(), state.timeoutSeconds)) {
    case NewDataWait::Arrived:
      // The other channels are read here too, so that a card failing part-way ends the run
      // before the sample, whose later channels would hold what the failure left behind.
      state.values.assign(1, readingOf(ctx.access));
      readAfterFirst(ctx, state, channels, state.values);
      return !TransportLost(ctx);
    case NewDataWait::TimedOut: {
      const LogChannel* channel = ChannelOfRegister(channels.front());
      ctx.messages().show(kApplicationTitle,
                          NoNewDataText(channel != nullptr ? channel->caption : "",
                                        std::round(state.timeoutSeconds * 1000)),
                          MessageIcon::Warning);
      return false;
    }
    case NewDataWait::TransportFailed:
      break;
  }
  return false;
}

void readAfterFirst(AppContext& ctx, const DataReadyState& state, const ChannelList& channels,
                    SampleValues& values) {
  values.resize(channels.size());
  if (channels.empty()) return;
  const std::vector<int16_t> rest(channels.begin() + 1, channels.end());
  const std::vector<AccessState> results = ReadRegisterList(ctx, rest, state.pipelined);
  for (size_t i = 0; i < results.size(); ++i) values[i + 1] = readingOf(results[i]);
}

}  // namespace

void ReadSamplePipelined(AppContext& ctx, const ChannelList& channels, SampleValues& values) {
  const std::vector<AccessState> results = ReadRegisterList(ctx, channels, true);
  values.resize(results.size());
  for (size_t i = 0; i < results.size(); ++i) values[i] = readingOf(results[i]);
}

void ChooseSampling(LogRun& run, const SamplingChoice& choice) {
  if (!choice.dataReady) {
    if (choice.pipelined) run.setSampleReader(ReadSamplePipelined);
    return;
  }
  auto state = std::make_shared<DataReadyState>();
  state->pipelined = choice.pipelined;
  run.setSampleGate([state](AppContext& ctx, const ChannelList& channels) {
    return waitForSample(ctx, *state, channels);
  });
  run.setSampleReader([state](AppContext&, const ChannelList& channels, SampleValues& values) {
    values = state->values;
    values.resize(channels.size());
  });
  run.setSampleWait([](AppContext&, float) {});  // the wait for new data replaces the delay
}

std::string NoNewDataText(const std::string& channel, double waitedMs) {
  char ms[32];
  std::snprintf(ms, sizeof ms, "%.0f", waitedMs);
  return "\r\nNO NEW DATA\r\n\r\nThe sensor gave no new " + channel + " sample within " + ms +
         " ms: it may be asleep, without power or disconnected.\r\n\r\nThe log run has stopped. "
         "The file holds the samples taken; a file without samples is not made.";
}

}  // namespace vexa::datalog
