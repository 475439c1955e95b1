#pragma once

#include <string>

#include "datalog/log_run.h"

namespace vexa::datalog {

// How a log run takes its samples, beyond the default of one register read after another and
// the fixed sample delay: the channels read pipelined (N channels in N + 1 frames), and each
// sample taken when the sensor has a new one.
struct SamplingChoice {
  bool pipelined = false;
  // Each sample waits, instead of the sample delay, until a read of the first selected channel
  // finds its new-data bit set; that reading is the channel's value, and the other channels are
  // read right after it.
  bool dataReady = false;
};

// The selected channels in one pipelined read, with the same readings as ReadSampleByRegister.
void ReadSamplePipelined(AppContext& ctx, const ChannelList& channels, SampleValues& values);

// Sets the run's gate, reader and wait for the choice. The data-ready wait is bounded by
// DataReadyTimeoutSeconds of SMPL_PRD, read once before the first sample: a sensor that gives no
// new sample within it ends the run after a message (NoNewDataText), and so does a card that
// fails (its own message says why), rather than filling the file with stale readings.
void ChooseSampling(LogRun& run, const SamplingChoice& choice);

// The message of a data-ready wait that ran out: the channel's caption and the time waited.
std::string NoNewDataText(const std::string& channel, double waitedMs);

}  // namespace vexa::datalog
