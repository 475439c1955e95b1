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
  const double clocks = 16.0 + 8.0 * pauseBytes(setup);
  return static_cast<double>(count) * clocks / clockFor(setup.chip, setup.clockHz).hz;
}

void appendFrames(const SpiSetup& setup, const uint16_t* words, size_t count,
                  std::vector<uint8_t>& out) {
  const uint8_t idle = idleLevels(setup);
  const auto csHigh = static_cast<uint8_t>(1u << setup.csPin);
  const uint8_t selected = static_cast<uint8_t>(idle & ~csHigh);
  const uint8_t dir = directions(setup);
  // The engine shifts only with output on the falling edge from a low clock or on the rising
  // edge from a high one (SPI modes 0 and 2). With CPHA 1 the clock therefore makes the first
  // cycle's leading edge by hand once chip select is low; the shift that follows starts from
  // that level and leaves the clock there, so chip select goes up before the clock returns to
  // its idle level: the slave sees its 16 sampling edges while selected, and no other.
  const bool cpha = (setup.mode & 1) != 0;
  const uint8_t led = static_cast<uint8_t>(selected ^ kPinSck);
  const uint8_t shiftFrom = cpha ? led : selected;
  const uint8_t shift = shiftOpcode((shiftFrom & kPinSck) != 0);
  const uint32_t idleBytes = pauseBytes(setup);
  // The 2232D has no idle-clock command, so it clocks out zero bytes instead, with the output
  // edge that suits the clock's idle level.
  const uint8_t pauseOpcode =
      (idle & kPinSck) ? kDoWrite : static_cast<uint8_t>(kDoWrite | kWriteOnFalling);
  for (size_t i = 0; i < count; ++i) {
    out.insert(out.end(), {kSetLowBits, selected, dir});
    if (cpha) out.insert(out.end(), {kSetLowBits, led, dir});
    out.insert(out.end(), {shift, 0x01, 0x00, static_cast<uint8_t>(words[i] >> 8),
                           static_cast<uint8_t>(words[i])});
    if (cpha) out.insert(out.end(), {kSetLowBits, static_cast<uint8_t>(led | csHigh), dir});
    out.insert(out.end(), {kSetLowBits, idle, dir});
    // The pause: clocks with chip select high, which the sensor ignores.
    for (uint32_t left = idleBytes; left > 0;) {
      const uint32_t n = std::min<uint32_t>(left, 65536);
      const uint8_t low = static_cast<uint8_t>((n - 1) & 0xFF);
      const uint8_t high = static_cast<uint8_t>((n - 1) >> 8);
      if (isHighSpeed(setup.chip)) {
        out.insert(out.end(), {kIdleClockBytes, low, high});
      } else {
        out.insert(out.end(), {pauseOpcode, low, high});
        out.insert(out.end(), n, 0x00);
      }
      left -= n;
    }
  }
  out.push_back(kSendImmediate);
}

}  // namespace vexa::mpsse
