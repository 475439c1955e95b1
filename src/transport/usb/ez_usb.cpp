// Finding the USB SPI cards and moving bytes through their pipes, over the driver's request
// table (platform UsbDriver). Every operation that opens a device closes it before returning.
#include "transport/usb/ez_usb.h"

#include <array>
#include <cstring>
#include <vector>

namespace vexa {

namespace {

constexpr int kPipeCount = 17;
constexpr size_t kPipeRecordOffset = 16;
constexpr size_t kPipeRecordSize = 20;
constexpr uint16_t kFifo4ProductId = 0xED03;
constexpr uint16_t kMcpProductId = 0xEF00;
constexpr uint8_t kStringRequestTrailer = 27;
constexpr int kCardSlots = 4;

void showMessage(AppContext& ctx, const char* text) {
  ctx.messages().show(kApplicationTitle, text);
}

UsbDriver* driverOf(AppContext& ctx) {
  return ctx.platform.usb;
}

// One request with the driver; false without a driver or handle.
bool driverRequest(AppContext& ctx, UsbHandle handle, uint32_t code, const uint8_t* in,
                   size_t inLength, uint8_t* out, size_t outLength, uint32_t& returned) {
  returned = 0;
  UsbDriver* driver = driverOf(ctx);
  if (driver == nullptr || handle == 0) return false;
  return driver->request(handle, code, in, inLength, out, outLength, returned);
}

bool readPipeInfo(AppContext& ctx, UsbHandle handle,
                  std::array<uint8_t, usbreq::kPipeInfoSize>& block) {
  block.fill(0);
  uint32_t returned = 0;
  return driverRequest(ctx, handle, usbreq::kGetPipeInfo, block.data(), block.size(), block.data(),
                       block.size(), returned);
}

const uint8_t* pipeRecord(const std::array<uint8_t, usbreq::kPipeInfoSize>& block, int pipe) {
  return block.data() + kPipeRecordOffset + kPipeRecordSize * static_cast<size_t>(pipe);
}

uint16_t littleEndian16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (static_cast<uint16_t>(p[1]) << 8));
}

void closeDevice(AppContext& ctx, UsbHandle handle) {
  if (handle != 0 && driverOf(ctx) != nullptr) driverOf(ctx)->close(handle);
}

const char* boardTypeOf(uint16_t vendor, uint16_t product, uint16_t cardVendor) {
  if (vendor != cardVendor) return nullptr;
  if (product == kFifo4ProductId) return "FIFO4";
  if (product == kMcpProductId) return "MCP";
  return nullptr;
}

}  // namespace

UsbHandle OpenUsbDevice(AppContext& ctx, const std::string& name) {
  UsbDriver* driver = driverOf(ctx);
  if (driver == nullptr) return 0;
  return driver->open(name);
}

uint16_t GetPipePacketSize(AppContext& ctx, UsbHandle handle, int pipe) {
  if (handle == 0 || pipe < 0 || pipe >= kPipeCount) return 0;
  std::array<uint8_t, usbreq::kPipeInfoSize> block;
  if (!readPipeInfo(ctx, handle, block)) return 0;
  return littleEndian16(pipeRecord(block, pipe));
}

int32_t PipeTransfer(AppContext& ctx, UsbHandle handle, int pipe, uint8_t* buffer,
                     int32_t& length) {
  if (handle == 0) return -2;
  if (pipe < 0 || pipe >= kPipeCount || length < 0) {
    length = 0;
    return 0;
  }
  std::array<uint8_t, usbreq::kPipeInfoSize> block;
  if (!readPipeInfo(ctx, handle, block)) {
    length = 0;
    return 0;
  }
  const uint8_t endpoint = pipeRecord(block, pipe)[2];
  const uint32_t code = endpoint > 0x80 ? usbreq::kBulkRead : usbreq::kBulkWrite;
  const int32_t pipeNumber = pipe;
  uint8_t in[4];
  std::memcpy(in, &pipeNumber, sizeof in);
  uint32_t returned = 0;
  const bool ok = driverRequest(ctx, handle, code, in, sizeof in, buffer,
                                static_cast<size_t>(length), returned);
  length = static_cast<int32_t>(returned);
  return ok ? 1 : 0;
}

std::string GetUsbString(AppContext& ctx, UsbHandle handle, int index) {
  if (handle == 0) return "None";
  const uint8_t in[5] = {static_cast<uint8_t>(index), 0, 0, 0, kStringRequestTrailer};
  uint8_t head[4] = {};
  uint32_t returned = 0;
  if (!driverRequest(ctx, handle, usbreq::kGetStringDescriptor, in, sizeof in, head, sizeof head,
                     returned)) {
    return "None";
  }
  const size_t length = head[0];
  std::vector<uint8_t> descriptor(length);
  if (!driverRequest(ctx, handle, usbreq::kGetStringDescriptor, in, sizeof in, descriptor.data(),
                     descriptor.size(), returned)) {
    return "None";
  }
  std::string text;
  for (size_t i = 2; i < length; i += 2) {
    text.push_back(static_cast<char>(descriptor[i]));
  }
  return text;
}

void ReadBoardInfo(AppContext& ctx, UsbHandle handle, UsbCardInfo& slot) {
  if (!slot.Present || handle == 0) return;
  auto fail = [&] {
    showMessage(ctx, "Error getting Board Info");
    slot.Present = 0;
  };

  slot.Descriptor0 = GetUsbString(ctx, handle, 1);
  if (slot.Descriptor0 == "None") return fail();
  slot.Descriptor1 = GetUsbString(ctx, handle, 2);
  if (slot.Descriptor1 == "None") return fail();

  uint8_t version[2] = {0x00, 0};
  int32_t length = 1;
  if (PipeTransfer(ctx, handle, 0, version, length) != 1) return fail();
  length = 2;
  if (PipeTransfer(ctx, handle, 1, version, length) != 1 || length != 2) return fail();
  slot.FirmwareRev = static_cast<float>(version[0]) + static_cast<float>(version[1]) / 10.0f;

  const uint16_t packetSize = GetPipePacketSize(ctx, handle, 3);
  if (packetSize == 0) return fail();
  if (packetSize <= 64) {
    slot.UsbSpeed = "1.1";
    ctx.usb.WordDelay = 35;
  } else {
    slot.UsbSpeed = "2";
    ctx.usb.WordDelay = 10;
  }
}

void EnumerateUsbCards(AppContext& ctx) {
  UsbState& usb = ctx.usb;
  usb.UsbCardCount = 0;
  for (auto& slot : usb.UsbCards) {
    slot.Name.clear();
    slot.Present = 0;
  }
  for (int n = 0; n < kCardSlots; ++n) {
    const std::string name = "Ezusb-" + std::to_string(n);
    const UsbHandle handle = OpenUsbDevice(ctx, name);
    if (handle == 0) continue;

    // A device whose descriptor cannot be read is not a card: a fresh block per probe keeps
    // the previous device's descriptor from standing in for it.
    std::array<uint8_t, usbreq::kDeviceDescriptorBlockSize> block{};
    uint32_t returned = 0;
    const bool described = driverRequest(ctx, handle, usbreq::kGetDeviceDescriptor, block.data(),
                                         block.size(), block.data(), block.size(), returned);
    const char* boardType = described ? boardTypeOf(littleEndian16(&block[8]),
                                                    littleEndian16(&block[10]), usb.CardVendorId)
                                      : nullptr;
    if (boardType != nullptr) {
      ++usb.UsbCardCount;
      UsbCardInfo& slot = usb.UsbCards[static_cast<size_t>(n)];
      slot.Present = -1;
      slot.Name = name;
      slot.BoardType = boardType;
      ReadBoardInfo(ctx, handle, slot);
    }
    closeDevice(ctx, handle);
  }
}

void FindUsbCard(AppContext& ctx) {
  UsbState& usb = ctx.usb;
  usb.SelectedCard.Present = 0;
  usb.SelectedCardIndex = -1;
  EnumerateUsbCards(ctx);
  if (usb.UsbCardCount == 0) {
    showMessage(ctx, "No USB Buffers Found, Please Verify Setup and Restart");
    return;
  }
  for (int n = 0; n < kCardSlots; ++n) {
    const UsbCardInfo& slot = usb.UsbCards[static_cast<size_t>(n)];
    if (slot.Present) {
      usb.SelectedCard = slot;
      usb.SelectedCard.Present = -1;
      usb.SelectedCardIndex = static_cast<int16_t>(n);
      return;
    }
  }
  showMessage(ctx, "No Valid USB Buffers Found, Please Verify Setup and Restart");
}

}  // namespace vexa
