#include "registers/register_access.h"

#include <cmath>
#include <cstdlib>

#include "app/delay.h"
#include "registers/data_ready_wait.h"
#include "registers/gyro_scale.h"
#include "transport/adapter/adapter_spi.h"
#include "transport/parallel/parallel_spi.h"
#include "transport/usb/usb_spi.h"

namespace vexa {

namespace {

// 2^n computed in floating point and converted, as the masks are defined.
int32_t powerOfTwo(int n) {
  return static_cast<int32_t>(std::pow(2.0, n));
}

void checkIndex(int16_t index) {
  // An index outside the table is a programming error, not a user error.
  if (index < 0 || index >= RegisterTable::kCapacity) std::abort();
}

}  // namespace

int32_t SpiReadWord(AppContext& ctx, int16_t& address) {
  address &= 0x7F;
  const int32_t command = address * 256;
  switch (ctx.settings.Interface) {
    case kInterfaceUsb: {
      UsbState& usb = ctx.usb;
      usb.TxWords[1] = command;
      usb.TxWords[2] = command;
      usb.CselChannel = 1;
      uint8_t count = 2;
      UsbTransfer(ctx, count);
      return usb.RxWords[2];
    }
    case kInterfaceParallel:
      return PortReadWord(ctx, address);
    case kInterfaceFtdi:
    case kInterfaceSpidev:
      // Like the card: the command twice, the reply in the second frame.
      return AdapterReadWord(ctx, command);
    default:
      return 0;
  }
}

void SpiWriteFrames(AppContext& ctx, int16_t& a1, int16_t& b1, int16_t& a2, int16_t& b2) {
  a1 &= 0x7F;
  a2 &= 0x7F;
  b1 &= 0xFF;
  b2 &= 0xFF;
  int32_t frame1 = 32768 + a1 * 256 + b1;
  int32_t frame2 = 32768 + a2 * 256 + b2;
  switch (ctx.settings.Interface) {
    case kInterfaceUsb: {
      ctx.usb.TxWords[1] = frame1;
      ctx.usb.TxWords[2] = frame2;
      ctx.usb.CselChannel = 1;
      uint8_t count = 2;
      UsbTransfer(ctx, count);
      break;
    }
    case kInterfaceParallel:
      PortShiftOut(ctx, frame1);
      PortShiftOut(ctx, frame2);
      break;
    case kInterfaceFtdi:
    case kInterfaceSpidev:
      AdapterWriteFrames(ctx, frame1, frame2);
      break;
    default:
      break;
  }
}

void ReadRegister(AppContext& ctx, int16_t index) {
  checkIndex(index);
  if (ctx.registers.ReadFlag[index] == 0) return;
  int16_t address = static_cast<int16_t>(ctx.registers.BaseAddr[index]);
  StoreReadResult(ctx, index, SpiReadWord(ctx, address));
}

void StoreReadResult(AppContext& ctx, int16_t index, int32_t word) {
  checkIndex(index);
  const RegisterTable& t = ctx.registers;
  AccessState& a = ctx.access;
  a.LastRaw = word;
  a.LastHigh = static_cast<int16_t>(word / 256);
  a.LastLow = static_cast<int16_t>(word % 256);
  if (t.NDflag[index] != 0) a.LastNewData = word & 0x8000;
  if (t.ECflag[index] != 0) a.LastAlarm = word & 0x4000;
  const int n = t.ReadLen[index];
  if (t.TwosCompl[index] != 0)
    a.LastRaw = (word & (powerOfTwo(n - 1) - 1)) - (word & powerOfTwo(n - 1));
  else
    a.LastRaw = word & (static_cast<int32_t>(std::pow(2.0, n)) - 1);
  a.LastScaled = static_cast<float>(a.LastRaw) * t.RegScale[index] + t.RegOffset[index];
}

void WriteRegister(AppContext& ctx, int16_t index, int32_t value) {
  checkIndex(index);
  const RegisterTable& t = ctx.registers;
  if (t.WriteFlag[index] == 0) return;
  const int16_t a = static_cast<int16_t>(t.BaseAddr[index]);
  int16_t high = static_cast<int16_t>((value >> 8) & 0xFF);
  int16_t low = static_cast<int16_t>(value & 0xFF);
  int16_t above = static_cast<int16_t>(a + 1);
  int16_t base = a;
  // ALM_SMPL1 takes its low byte first; every other register its high byte first.
  if (index == ALM_SMPL1)
    SpiWriteFrames(ctx, base, low, above, high);
  else
    SpiWriteFrames(ctx, above, high, base, low);
  DelayMs(ctx, 0.1f);
  // The gyro outputs scale with the range just set, whichever window or command set it; a
  // write that did not reach the sensor changes nothing.
  if (index == SENS_AVG && !TransportLost(ctx)) ApplyGyroScale(ctx, value);
}

void ReadControlShadows(AppContext& ctx) {
  ReadRegister(ctx, GPIO_CTRL);
  ctx.access.GpioCtrlShadow = ctx.access.LastRaw;
  ReadRegister(ctx, ALM_CTRL);
  ctx.access.AlmCtrlShadow = ctx.access.LastRaw;
  ReadRegister(ctx, MSC_CTRL);
  ctx.access.MscCtrlShadow = ctx.access.LastRaw;
}

}  // namespace vexa
