#include "registers/register_pipeline.h"

#include <algorithm>
#include <cstdlib>

#include "registers/register_access.h"
#include "transport/selected_link.h"

namespace vexa {

namespace {

// The frame that brings back the last reply is all zeros, as on the port's single reads: a
// read of address 0, which changes nothing in the sensor. (The card's single reads repeat their
// command there instead, which reads the register a second time and so clears its new-data bit
// without anyone seeing it: a sample that arrives between the two reads would go unnoticed.)
constexpr uint16_t kTrailerFrame = 0x0000;

}  // namespace

size_t ExchangeFrames(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count) {
  for (size_t i = 0; i < count; ++i) miso[i] = 0;
  const LinkOutcome r = LinkExchange(ctx, mosi, miso, count);
  return r.ok ? count : r.delivered;
}

bool CanExchangeFrames(const AppContext& ctx) {
  return LinkSelected(ctx);
}

size_t ReadRegistersPipelined(AppContext& ctx, const int16_t* indices, size_t count,
                              AccessState* results) {
  std::string cause;
  return ReadRegistersPipelined(ctx, indices, count, results, cause);
}

size_t ReadRegistersPipelined(AppContext& ctx, const int16_t* indices, size_t count,
                              AccessState* results, std::string& cause) {
  if (!CanExchangeFrames(ctx)) {
    for (size_t i = 0; i < count; ++i) {
      ReadRegister(ctx, indices[i]);
      if (results != nullptr) results[i] = ctx.access;
    }
    return count;
  }
  const RegisterTable& t = ctx.registers;
  std::vector<int16_t> readable;
  std::vector<uint16_t> mosi;
  readable.reserve(count);
  mosi.reserve(count + 1);
  for (size_t i = 0; i < count; ++i) {
    const int16_t index = indices[i];
    if (index < 0 || index >= RegisterTable::kCapacity) std::abort();  // a programming error
    if (t.ReadFlag[index] == 0) continue;
    readable.push_back(index);
    mosi.push_back(static_cast<uint16_t>((t.BaseAddr[index] & 0x7F) << 8));
  }
  std::vector<uint16_t> miso;
  size_t received = 0;
  if (!readable.empty()) {
    mosi.push_back(kTrailerFrame);
    miso.assign(mosi.size(), 0);
    const LinkOutcome r = LinkExchange(ctx, mosi.data(), miso.data(), mosi.size());
    received = r.ok ? mosi.size() : r.delivered;
    cause = r.cause;
  }

  // A read whose reply was lost reads the last reply that came, as a single read over a failed
  // card or adapter does; the count returned says where the replies stopped.
  int32_t lastDelivered = ctx.adapters.lastReply;
  size_t next = 0;  // position in `readable`
  size_t live = count;
  for (size_t i = 0; i < count; ++i) {
    if (t.ReadFlag[indices[i]] != 0) {
      const size_t replyFrame = next + 1;
      int32_t word = lastDelivered;
      if (replyFrame < received) {
        word = miso[replyFrame];
        lastDelivered = word;
      } else if (live == count) {
        live = i;
      }
      StoreReadResult(ctx, indices[i], word);
      ++next;
    }
    if (results != nullptr) results[i] = ctx.access;
  }
  if (!readable.empty()) ctx.adapters.lastReply = static_cast<uint16_t>(lastDelivered);
  return live;
}

bool PipelinedReadsChosen(const AppContext& ctx) {
  return ctx.preferences.flag(kPipelinedReadsKey, false);
}

std::vector<AccessState> ReadRegisterList(AppContext& ctx, const std::vector<int16_t>& indices,
                                          bool pipelined) {
  std::vector<AccessState> results(indices.size());
  if (pipelined) {
    ReadRegistersPipelined(ctx, indices.data(), indices.size(), results.data());
  } else {
    for (size_t i = 0; i < indices.size(); ++i) {
      ReadRegister(ctx, indices[i]);
      results[i] = ctx.access;
    }
  }
  return results;
}

}  // namespace vexa
