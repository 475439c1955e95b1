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

uint8_t shiftOpcode(int mode) {
  const bool sampleOnRising = mode == 0 || mode == 3;
  return sampleOnRising ? static_cast<uint8_t>(kDoWrite | kDoRead | kWriteOnFalling)
                        : static_cast<uint8_t>(kDoWrite | kDoRead | kReadOnFalling);
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
  const uint8_t selected = static_cast<uint8_t>(idle & ~(1u << setup.csPin));
  const uint8_t dir = directions(setup);
  const uint8_t shift = shiftOpcode(setup.mode);
  const uint32_t idleBytes = pauseBytes(setup);
  for (size_t i = 0; i < count; ++i) {
    out.insert(out.end(),
               {kSetLowBits, selected, dir, shift, 0x01, 0x00, static_cast<uint8_t>(words[i] >> 8),
                static_cast<uint8_t>(words[i]), kSetLowBits, idle, dir});
    // The pause: clocks with chip select high, which the sensor ignores. The 2232D has no
    // idle-clock command, so it clocks out zero bytes instead.
    for (uint32_t left = idleBytes; left > 0;) {
      const uint32_t n = std::min<uint32_t>(left, 65536);
      const uint8_t low = static_cast<uint8_t>((n - 1) & 0xFF);
      const uint8_t high = static_cast<uint8_t>((n - 1) >> 8);
      if (isHighSpeed(setup.chip)) {
        out.insert(out.end(), {kIdleClockBytes, low, high});
      } else {
        out.insert(out.end(), {static_cast<uint8_t>(kDoWrite | kWriteOnFalling), low, high});
        out.insert(out.end(), n, 0x00);
      }
      left -= n;
    }
  }
  out.push_back(kSendImmediate);
}

}  // namespace vexa::mpsse
