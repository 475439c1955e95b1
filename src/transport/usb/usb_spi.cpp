// The card's command protocol over pipes 0 (commands) and 1 (replies).
#include "transport/usb/usb_spi.h"

#include <algorithm>
#include <array>

#include "transport/usb/ez_usb.h"

namespace vexa {

namespace {

constexpr uint8_t kCmdReadSetup = 0x01;
constexpr uint8_t kCmdSetWordDelay = 0x0B;
constexpr uint8_t kCmdSetStaticBits = 0x0C;
constexpr uint8_t kCmdTransferPositive = 0x0D;
constexpr uint8_t kCmdTransferNegative = 0x0E;
constexpr uint8_t kStaticBitsMask = 0x78;
constexpr int kMaxWords = 16;
constexpr int kCommandBufferSize = 2 * kMaxWords + 9;  // 41 bytes
constexpr int kCommandPipe = 0;
constexpr int kReplyPipe = 1;

bool cardUsable(const AppContext& ctx) {
  return ctx.usb.SelectedCard.Present != 0;
}

void markUnusable(AppContext& ctx, const char* text) {
  ctx.messages().show(kApplicationTitle, text);
  ctx.usb.SelectedCard.Present = 0;
}

void closeDevice(AppContext& ctx, UsbHandle handle) {
  if (handle != 0 && ctx.platform.usb != nullptr) ctx.platform.usb->close(handle);
}

// A transfer counts only when it moved every byte: a short reply would leave the missing bytes
// reading as 0, and a short command is not the command that was meant.
bool sendBytes(AppContext& ctx, UsbHandle handle, uint8_t* bytes, int32_t count) {
  int32_t moved = count;
  return PipeTransfer(ctx, handle, kCommandPipe, bytes, moved) == 1 && moved == count;
}

bool receiveBytes(AppContext& ctx, UsbHandle handle, uint8_t* bytes, int32_t count) {
  int32_t moved = count;
  return PipeTransfer(ctx, handle, kReplyPipe, bytes, moved) == 1 && moved == count;
}

}  // namespace

void UsbReadSpiSetup(AppContext& ctx) {
  if (!cardUsable(ctx)) return;
  UsbState& usb = ctx.usb;
  usb.WordDelay = 0;
  const UsbHandle handle = OpenUsbDevice(ctx, usb.SelectedCard.Name);

  uint8_t command[1] = {kCmdReadSetup};
  if (!sendBytes(ctx, handle, command, 1)) {
    // The reply is still asked for: a card that took the command anyway answers it.
    markUnusable(ctx, "Error Setting up SPI");
  }
  std::array<uint8_t, 2> reply{};
  if (!receiveBytes(ctx, handle, reply.data(), 2)) {
    markUnusable(ctx, "Error Reading SPI");
    closeDevice(ctx, handle);
    return;
  }
  usb.WordDelay = reply[0];
  usb.StaticBits = reply[1] & kStaticBitsMask;
  closeDevice(ctx, handle);
}

void UsbSetWordDelay(AppContext& ctx, uint8_t& delay) {
  if (!cardUsable(ctx)) return;
  if (delay == 0) delay = 1;
  ctx.usb.WordDelay = delay;
  const UsbHandle handle = OpenUsbDevice(ctx, ctx.usb.SelectedCard.Name);
  uint8_t command[2] = {kCmdSetWordDelay, delay};
  if (!sendBytes(ctx, handle, command, 2)) markUnusable(ctx, "Error Setting up SPI");
  closeDevice(ctx, handle);
}

void UsbSetStaticBits(AppContext& ctx, uint8_t& bits) {
  if (!cardUsable(ctx)) return;
  const UsbHandle handle = OpenUsbDevice(ctx, ctx.usb.SelectedCard.Name);
  uint8_t command[2] = {kCmdSetStaticBits, bits};
  const bool sent = sendBytes(ctx, handle, command, 2);
  ctx.usb.StaticBits = bits;
  if (!sent) markUnusable(ctx, "Error Setting SPI Bits");
  closeDevice(ctx, handle);
}

void UsbTransfer(AppContext& ctx, uint8_t& count) {
  const char* failure = UsbTransferQuietly(ctx, count);
  if (failure != nullptr) markUnusable(ctx, failure);
}

const char* UsbTransferQuietly(AppContext& ctx, uint8_t& count) {
  if (!cardUsable(ctx)) return nullptr;
  UsbState& usb = ctx.usb;
  if (usb.CselChannel < 1) usb.CselChannel = 1;
  if (usb.CselChannel > 5) usb.CselChannel = 5;
  // More words than the buffers hold is refused; no words is no transfer.
  if (count > kMaxWords) return nullptr;
  usb.WordCount = count;
  if (count == 0) return nullptr;
  const int words = count;
  const UsbHandle handle = OpenUsbDevice(ctx, usb.SelectedCard.Name);

  std::array<uint8_t, kCommandBufferSize> command{};
  command[0] = usb.InputPolarityPos ? kCmdTransferPositive : kCmdTransferNegative;
  command[1] = usb.CselChannel;
  command[2] = static_cast<uint8_t>(words);
  for (int i = 1; i <= words; ++i) {
    const auto word = static_cast<uint32_t>(usb.TxWords[static_cast<size_t>(i)]);
    command[static_cast<size_t>(2 * i + 1)] = static_cast<uint8_t>(word >> 8);
    command[static_cast<size_t>(2 * i + 2)] = static_cast<uint8_t>(word);
  }
  if (!sendBytes(ctx, handle, command.data(), 2 * words + 3)) {
    closeDevice(ctx, handle);
    usb.SelectedCard.Present = 0;
    return "Error Writing SPI";
  }
  std::array<uint8_t, 2 * kMaxWords> reply{};
  if (!receiveBytes(ctx, handle, reply.data(), 2 * words)) {
    closeDevice(ctx, handle);
    usb.SelectedCard.Present = 0;
    return "Error Reading SPI";
  }
  for (int k = 0; k < words; ++k) {
    usb.RxWords[static_cast<size_t>(k + 1)] =
        reply[static_cast<size_t>(2 * k)] * 256 + reply[static_cast<size_t>(2 * k + 1)];
  }
  closeDevice(ctx, handle);
  return nullptr;
}

}  // namespace vexa
