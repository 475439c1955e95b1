#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/app_context.h"

namespace vexa {

// Pipelined register reads. The sensor answers a read command in the next frame, whatever that
// frame sends, so the read command of each register can travel in the frame that brings back
// the reply to the one before: N registers cost N + 1 frames instead of 2N, and over the USB
// card up to 16 frames share one transfer.

// The transport seam: sends `count` frames back to back over the selected link and puts the
// word received during frame i into miso[i]. miso[0] may be left 0 (it answers a command sent
// before the list; nothing asks for it). Returns how many leading frames brought their replies:
// `count` when all did, fewer when the link failed (it has then shown its message and is left
// unusable) or none is selected.
size_t ExchangeFrames(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count);
// Whether an interface is selected. Pipelined reads with none go one register at a time
// instead, with the same results.
bool CanExchangeFrames(const AppContext& ctx);

// Reads the rows `indices` in order: their read commands, then a frame of zeros that brings the
// last reply. results[i] receives ctx.access exactly as
// ReadRegister(indices[i]) would leave it after reading the rows before it one at a time, and
// ctx.access is left as after the last of them. Rows without ReadFlag send nothing and keep the
// results before them. When the transport fails part-way, the rows whose replies were lost read
// what a single read of an unusable card reads: the reply the card last delivered, as the
// one-at-a-time reads would have left it. The card's reply buffer is left in that state too.
// Returns how many leading rows were read from the sensor: `count` unless the transport failed.
size_t ReadRegistersPipelined(AppContext& ctx, const int16_t* indices, size_t count,
                              AccessState* results);
// The same, with the cause of a failed exchange (empty when every reply came). The rows from
// the count returned on read no value: their results are not to be used.
size_t ReadRegistersPipelined(AppContext& ctx, const int16_t* indices, size_t count,
                              AccessState* results, std::string& cause);

// The program setting that asks the read loop for pipelined reads ("Fast Reads"), off unless
// the user chose it.
constexpr const char* kPipelinedReadsKey = "read.pipelined";
bool PipelinedReadsChosen(const AppContext& ctx);

// The rows read one at a time (ReadRegister) or pipelined, with the results of each.
std::vector<AccessState> ReadRegisterList(AppContext& ctx, const std::vector<int16_t>& indices,
                                          bool pipelined);

}  // namespace vexa
