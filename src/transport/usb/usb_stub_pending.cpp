// Placeholder bodies until the card driver lands; replaced file by file.
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"

namespace vexa {
void UsbReadSpiSetup(AppContext&) {}
void UsbSetWordDelay(AppContext&, uint8_t& delay) { if (delay == 0) delay = 1; }
void UsbSetStaticBits(AppContext&, uint8_t&) {}
void UsbTransfer(AppContext&, uint8_t&) {}
UsbHandle OpenUsbDevice(AppContext&, const std::string&) { return 0; }
uint16_t GetPipePacketSize(AppContext&, UsbHandle, int) { return 0; }
int32_t PipeTransfer(AppContext&, UsbHandle, int, uint8_t*, int32_t&) { return -2; }
std::string GetUsbString(AppContext&, UsbHandle, int) { return "None"; }
void ReadBoardInfo(AppContext&, UsbHandle, UsbCardInfo&) {}
void EnumerateUsbCards(AppContext&) {}
void FindUsbCard(AppContext& ctx) { ctx.usb.SelectedCard.Present = 0; ctx.usb.SelectedCardIndex = -1; }
}  // namespace vexa
