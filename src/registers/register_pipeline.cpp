#include "registers/register_pipeline.h"

#include <algorithm>
#include <cstdlib>

#include "registers/register_access.h"
#include "transport/adapter/adapter_spi.h"
#include "transport/parallel/parallel_spi.h"
#include "transport/usb/usb_spi.h"

namespace vexa {

namespace {

constexpr size_t kWordsPerTransfer = 16;

// The card's frames go out in transfers of up to 16 words on chip-select 1, as register access
// sends its own. The chain of commands runs on across transfers: the sensor keeps its reply
// until the next frame, however long the pause between two transfers.
size_t usbExchange(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count) {
  UsbState& usb = ctx.usb;
  size_t done = 0;
  while (done < count) {
    if (usb.SelectedCard.Present == 0) return done;
    const size_t words = std::min(kWordsPerTransfer, count - done);
    for (size_t i = 0; i < words; ++i) usb.TxWords[i + 1] = mosi[done + i];
    usb.CselChannel = 1;
    uint8_t n = static_cast<uint8_t>(words);
    UsbTransfer(ctx, n);
    if (usb.SelectedCard.Present == 0) return done;  // the transfer failed and said so
    for (size_t i = 0; i < words; ++i) miso[done + i] = static_cast<uint16_t>(usb.RxWords[i + 1]);
    done += words;
  }
  return done;
}

// The frame that brings back the last reply is all zeros, as on the port's single reads: a
// read of address 0, which changes nothing in the sensor. (The card's single reads repeat their
// command there instead, which reads the register a second time and so clears its new-data bit
// without anyone seeing it: a sample that arrives between the two reads would go unnoticed.)
constexpr uint16_t kTrailerFrame = 0x0000;

}  // namespace

size_t ExchangeFrames(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count) {
  switch (ctx.settings.Interface) {
    case kInterfaceUsb:
      for (size_t i = 0; i < count; ++i) miso[i] = 0;
      return usbExchange(ctx, mosi, miso, count);
    case kInterfaceParallel:
      PortExchangeFrames(ctx, mosi, miso, count);
      return count;
    case kInterfaceFtdi:
    case kInterfaceSpidev:
      // The adapter's link keeps each frame in its own chip-select cycle with its pause.
      for (size_t i = 0; i < count; ++i) miso[i] = 0;
      return AdapterTransfer(ctx, mosi, miso, count) ? count : 0;
    default:
      for (size_t i = 0; i < count; ++i) miso[i] = 0;
      return 0;
  }
}

bool CanExchangeFrames(const AppContext& ctx) {
  return ctx.settings.Interface == kInterfaceUsb || ctx.settings.Interface == kInterfaceParallel ||
         IsAdapterInterface(ctx.settings.Interface);
}

size_t ReadRegistersPipelined(AppContext& ctx, const int16_t* indices, size_t count,
                              AccessState* results) {
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
    miso.resize(mosi.size());
    received = ExchangeFrames(ctx, mosi.data(), miso.data(), mosi.size());
  }

  // A read whose reply was lost reads the last reply that came, as a single read over a failed
  // card or adapter does: the word of the last register that did arrive, or what was there
  // before. That word is left where the single reads keep it.
  int32_t* lastReply = nullptr;
  int32_t adapterReply = ctx.adapters.lastReply;
  if (ctx.settings.Interface == kInterfaceUsb) lastReply = &ctx.usb.RxWords[2];
  if (IsAdapterInterface(ctx.settings.Interface)) lastReply = &adapterReply;
  int32_t lastDelivered = lastReply != nullptr ? *lastReply : 0;
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
  if (lastReply != nullptr && !readable.empty()) *lastReply = lastDelivered;
  if (IsAdapterInterface(ctx.settings.Interface))
    ctx.adapters.lastReply = static_cast<uint16_t>(adapterReply);
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
