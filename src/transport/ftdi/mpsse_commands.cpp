#include "transport/ftdi/mpsse_commands.h"

#include <algorithm>
#include <cmath>

namespace vexa::mpsse {

bool isHighSpeed(FtdiChip chip) {
  return chip == FtdiChip::Ft2232H || chip == FtdiChip::Ft4232H || chip == FtdiChip::Ft232H;
}

double baseClockHz(FtdiChip chip) {
  return isHighSpeed(chip) ? 60e6 : 12e6;
}

ClockChoice clockFor(FtdiChip chip, uint32_t wantedHz) {
  const double base = baseClockHz(chip);
  double divisor = wantedHz == 0 ? 65535.0 : std::ceil(base / (2.0 * wantedHz)) - 1.0;
  divisor = std::clamp(divisor, 0.0, 65535.0);
  ClockChoice c;
  c.divisor = static_cast<uint16_t>(divisor);
  c.hz = base / ((1.0 + c.divisor) * 2.0);
  return c;
}

uint8_t idleLevels(const SpiSetup& setup) {
  uint8_t levels = static_cast<uint8_t>(1u << setup.csPin);
  if (setup.mode & 2) levels |= kPinSck;  // CPOL 1: the clock idles high
  return levels;
}

uint8_t directions(const SpiSetup& setup) {
  return static_cast<uint8_t>(kPinSck | kPinDo | (1u << setup.csPin));
}

uint8_t shiftOpcode(bool clockStartsHigh) {
  return clockStartsHigh ? static_cast<uint8_t>(kDoWrite | kDoRead | kReadOnFalling)
                         : static_cast<uint8_t>(kDoWrite | kDoRead | kWriteOnFalling);
}

std::vector<uint8_t> setupCommands(const SpiSetup& setup) {
  std::vector<uint8_t> out;
  if (isHighSpeed(setup.chip)) out.insert(out.end(), {kDivideBy5Off, kAdaptiveOff, kThreePhaseOff});
  const ClockChoice clock = clockFor(setup.chip, setup.clockHz);
  out.insert(out.end(), {kLoopbackOff, kSetDivisor, static_cast<uint8_t>(clock.divisor & 0xFF),
                         static_cast<uint8_t>(clock.divisor >> 8), kSetLowBits, idleLevels(setup),
                         directions(setup)});
  return out;
}

uint32_t pauseClocks(const SpiSetup& setup) {
  const double hz = clockFor(setup.chip, setup.clockHz).hz;
  return static_cast<uint32_t>(std::ceil(std::max(0.0, setup.pauseUs) * 1e-6 * hz - 1e-9));
}

namespace {
// Whole bytes of idle clocking, at least the pause.
uint32_t pauseBytes(const SpiSetup& setup) {
  return std::max<uint32_t>(1, (pauseClocks(setup) + 7) / 8);
}
}  // namespace

double framesSeconds(const SpiSetup& setup, size_t count) {
  // With CPHA 1 the first leading and the last trailing edge are pin commands, whose time the
  // reference does not state: only the 15 cycles the engine clocks count.
  const double clocked = (setup.mode & 1) ? 15.0 : 16.0;
  const double clocks = clocked + 8.0 * pauseBytes(setup);
  return static_cast<double>(count) * clocks / clockFor(setup.chip, setup.clockHz).hz;
}

size_t replyBytesPerFrame(const SpiSetup& setup) {
  return (setup.mode & 1) ? 3 : 2;
}

uint16_t frameReply(const SpiSetup& setup, const uint8_t* bytes) {
  if ((setup.mode & 1) == 0) return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
  // Bits 15..8, bits 7..1 (a bit-length read fills the byte from its lowest bit up), and the
  // pins' value with the last bit on DI.
  return static_cast<uint16_t>(bytes[0] << 8 | (bytes[1] & 0x7F) << 1 |
                               ((bytes[2] & kPinDi) ? 1 : 0));
}

void appendFrames(const SpiSetup& setup, const uint16_t* words, size_t count,
                  std::vector<uint8_t>& out) {
  const uint8_t idle = idleLevels(setup);
  const auto csHigh = static_cast<uint8_t>(1u << setup.csPin);
  const uint8_t selected = static_cast<uint8_t>(idle & ~csHigh);
  const uint8_t dir = directions(setup);
  // The engine shifts only with output on the falling edge from a low clock or on the rising
  // edge from a high one (SPI modes 0 and 2), and every data command clocks whole cycles from
  // the level it starts at. With CPHA 1 the slave moves on at the leading edge and samples at
  // the trailing one, so the frame is built around the shifts: the first leading edge by hand,
  // 15 cycles shifted from the level away from idle (8 bits, then 7 bits by bit-length
  // clocking) which end on the 16th leading edge, then the last bit put on DO and its reply
  // bit read from the pins, the 16th trailing edge by hand, and chip select up with the clock
  // back at idle: 16 cycles while selected, no more.
  const bool cpha = (setup.mode & 1) != 0;
  const uint8_t led = static_cast<uint8_t>(selected ^ kPinSck);
  const uint8_t shift = shiftOpcode(((cpha ? led : selected) & kPinSck) != 0);
  const auto bitShift = static_cast<uint8_t>(shift | kBitMode);
  const uint32_t idleBytes = pauseBytes(setup);
  // The 2232D has no idle-clock command, so it clocks out zero bytes instead, with the output
  // edge that suits the clock's idle level.
  const uint8_t pauseOpcode =
      (idle & kPinSck) ? kDoWrite : static_cast<uint8_t>(kDoWrite | kWriteOnFalling);
  for (size_t i = 0; i < count; ++i) {
    const auto high = static_cast<uint8_t>(words[i] >> 8);
    const auto low = static_cast<uint8_t>(words[i]);
    if (cpha) {
      // MOSI carries each bit from a command before the edge the slave samples it on.
      const uint8_t first = (high & 0x80) ? kPinDo : 0;
      const uint8_t last = (low & 0x01) ? kPinDo : 0;
      out.insert(out.end(), {kSetLowBits, static_cast<uint8_t>(selected | first), dir});
      out.insert(out.end(), {kSetLowBits, static_cast<uint8_t>(led | first), dir});
      out.insert(out.end(), {shift, 0x00, 0x00, high, bitShift, 0x06, low});
      out.insert(out.end(), {kSetLowBits, static_cast<uint8_t>(led | last), dir, kGetLowBits});
      out.insert(out.end(), {kSetLowBits, static_cast<uint8_t>(selected | last), dir});
    } else {
      out.insert(out.end(), {kSetLowBits, selected, dir, shift, 0x01, 0x00, high, low});
    }
    out.insert(out.end(), {kSetLowBits, idle, dir});
    // The pause: clocks with chip select high, which the sensor ignores.
    for (uint32_t left = idleBytes; left > 0;) {
      const uint32_t n = std::min<uint32_t>(left, 65536);
      const uint8_t lowCount = static_cast<uint8_t>((n - 1) & 0xFF);
      const uint8_t highCount = static_cast<uint8_t>((n - 1) >> 8);
      if (isHighSpeed(setup.chip)) {
        out.insert(out.end(), {kIdleClockBytes, lowCount, highCount});
      } else {
        out.insert(out.end(), {pauseOpcode, lowCount, highCount});
        out.insert(out.end(), n, 0x00);
      }
      left -= n;
    }
  }
  out.push_back(kSendImmediate);
}

}  // namespace vexa::mpsse
