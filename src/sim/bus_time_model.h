#pragma once

#include <algorithm>

#include "platform/ftdi_io.h"

namespace vexa::sim {

// The bus time of every simulated transport, in one place. The simulated devices spend exactly
// these figures (on the virtual clock in tests, on the wall clock in the program's simulation),
// and the benchmarks take their bounds from here.

// USB. A full-speed link (12 Mbit/s) carries bulk transactions in 1-ms frames, and a
// synchronous request submitted during one frame completes at the earliest when the host
// controller reports that frame done: about 1 ms per request, whatever its size. The bytes
// themselves hardly count: the 7-byte command of a two-word card transfer is 56 data bits plus
// about 50 bits of sync, token, CRC and handshake, some 9 us on the wire. High speed
// (480 Mbit/s) runs 125-us microframes.
constexpr double kFullSpeedRequestSeconds = 1e-3;
constexpr double kHighSpeedRequestSeconds = 125e-6;

// A command out and its answer in. The device works while the IN request waits for its
// (micro)frame, so its work costs time only where it outlasts that request.
constexpr double roundTripSeconds(double requestSeconds, double deviceSeconds) {
  return requestSeconds + std::max(requestSeconds, deviceSeconds);
}

// USB SPI card: a transfer of `words` 16-bit words at `bitSeconds` per bit, with the card's
// delay between words, is one round trip. With the defaults (1 us bits, 25 us word delay) the
// two words of a register read take 57 us, well inside the reply's request: a register read
// over a full-speed card costs kFullSpeedRoundTripSeconds, at most 500 a second.
constexpr double cardSpiSeconds(int words, double bitSeconds, double wordDelaySeconds) {
  return words > 0 ? words * 16 * bitSeconds + (words - 1) * wordDelaySeconds : 0.0;
}
constexpr double kFullSpeedRoundTripSeconds = roundTripSeconds(kFullSpeedRequestSeconds, 0);

// FTDI board: the H chips are high-speed devices, the 2232D a full-speed one. A batch of frames
// is one bulk write and one bulk read, around the engine's clocking: per frame 16 clocks and
// the pause's idle clocks (whole bytes of 8, at least the pause) at the SCK rate. At 1 MHz with
// the 0.1 ms pause a frame clocks 120 us, so a register read (two frames) on an FT232H costs
// 125 + max(125, 240) = 365 us.
constexpr double ftdiRequestSeconds(FtdiChip chip) {
  return chip == FtdiChip::Ft2232D ? kFullSpeedRequestSeconds : kHighSpeedRequestSeconds;
}
constexpr double ftdiBatchSeconds(FtdiChip chip, double clockingSeconds) {
  return roundTripSeconds(ftdiRequestSeconds(chip), clockingSeconds);
}

// spidev: each SPI_IOC_MESSAGE costs the system call, the SPI core's queue and the
// controller's set-up (kSpidevMessageSeconds, typical of an SoC controller), then its bits at
// the clock and any delay_usecs inside it. The program sends one frame per message and waits
// the pause after it itself, so a frame costs message + 16 bits + pause: at 1 MHz with the
// 0.1 ms pause, 25 + 16 + 100 = 141 us, 282 us per register read.
constexpr double kSpidevMessageSeconds = 25e-6;
constexpr double spidevMessageSeconds(double bits, double clockHz, double delaySeconds) {
  return kSpidevMessageSeconds + bits / clockHz + delaySeconds;
}
constexpr double spidevFrameSeconds(double clockHz, double pauseSeconds) {
  return spidevMessageSeconds(16, clockHz, 0) + pauseSeconds;
}

}  // namespace vexa::sim
