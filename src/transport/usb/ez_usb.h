#pragma once

#include <cstdint>
#include <string>

#include "app/app_context.h"

namespace vexa {

// Access to the USB SPI cards through the driver's request table.
UsbHandle OpenUsbDevice(AppContext& ctx, const std::string& name);
uint16_t GetPipePacketSize(AppContext& ctx, UsbHandle handle, int pipe);
// Moves `length` bytes between `buffer` and the pipe; `length` receives the count moved.
// Returns 1 on success, -2 without a handle, anything else on failure.
int32_t PipeTransfer(AppContext& ctx, UsbHandle handle, int pipe, uint8_t* buffer, int32_t& length);
std::string GetUsbString(AppContext& ctx, UsbHandle handle, int index);
void ReadBoardInfo(AppContext& ctx, UsbHandle handle, UsbCardInfo& slot);
void EnumerateUsbCards(AppContext& ctx);
void FindUsbCard(AppContext& ctx);

}  // namespace vexa
