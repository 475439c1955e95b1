#include "registers/register_access.h"

#include <cmath>
#include <cstdlib>

#include "app/delay.h"
#include "registers/gyro_scale.h"

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
  const LinkWord w = LinkReadWord(ctx, static_cast<uint16_t>(address * 256));
  // The windows' "last read" values: a failed read leaves the last reply that came, as the
  // transports always did; the Try functions say that it failed instead.
  if (w.ok) ctx.adapters.lastReply = w.word;
  return ctx.adapters.lastReply;
}

void SpiWriteFrames(AppContext& ctx, int16_t& a1, int16_t& b1, int16_t& a2, int16_t& b2) {
  TrySpiWriteFrames(ctx, a1, b1, a2, b2);
}

LinkOutcome TrySpiWriteFrames(AppContext& ctx, int16_t& a1, int16_t& b1, int16_t& a2, int16_t& b2) {
  a1 &= 0x7F;
  a2 &= 0x7F;
  b1 &= 0xFF;
  b2 &= 0xFF;
  const uint16_t frames[2] = {static_cast<uint16_t>(32768 + a1 * 256 + b1),
                              static_cast<uint16_t>(32768 + a2 * 256 + b2)};
  return LinkExchange(ctx, frames, nullptr, 2);
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
  if (ctx.registers.WriteFlag[index] == 0) return;
  TryWriteRegister(ctx, index, value);
}

LinkOutcome TryReadRegister(AppContext& ctx, int16_t index) {
  checkIndex(index);
  if (ctx.registers.ReadFlag[index] == 0)
    return {false, ctx.registers.Label[index] + " cannot be read"};
  const uint16_t address = static_cast<uint16_t>(ctx.registers.BaseAddr[index] & 0x7F);
  const LinkWord w = LinkReadWord(ctx, static_cast<uint16_t>(address * 256));
  if (!w.ok) return {false, w.cause};
  ctx.adapters.lastReply = w.word;
  StoreReadResult(ctx, index, w.word);
  return {true, ""};
}

LinkOutcome TryWriteRegister(AppContext& ctx, int16_t index, int32_t value) {
  checkIndex(index);
  const RegisterTable& t = ctx.registers;
  if (t.WriteFlag[index] == 0) return {false, t.Label[index] + " cannot be written"};
  const int16_t a = static_cast<int16_t>(t.BaseAddr[index]);
  int16_t high = static_cast<int16_t>((value >> 8) & 0xFF);
  int16_t low = static_cast<int16_t>(value & 0xFF);
  int16_t above = static_cast<int16_t>(a + 1);
  int16_t base = a;
  // ALM_SMPL1 takes its low byte first; every other register its high byte first.
  const LinkOutcome r = index == ALM_SMPL1 ? TrySpiWriteFrames(ctx, base, low, above, high)
                                           : TrySpiWriteFrames(ctx, above, high, base, low);
  DelayMs(ctx, 0.1f);
  // The gyro outputs scale with the range just set, whichever window or command set it; a
  // write that did not reach the sensor changes nothing.
  if (index == SENS_AVG && r.ok) ApplyGyroScale(ctx, value);
  return r;
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
