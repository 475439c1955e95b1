#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ftdi_io.h"

namespace vexa::mpsse {

// Opcodes of the FTDI MPSSE command processor.
constexpr uint8_t kSetLowBits = 0x80;  // value, direction of ADBUS0..7
constexpr uint8_t kGetLowBits = 0x81;  // answers one byte
constexpr uint8_t kLoopbackOn = 0x84;
constexpr uint8_t kLoopbackOff = 0x85;
constexpr uint8_t kSetDivisor = 0x86;  // low, high
constexpr uint8_t kSendImmediate = 0x87;
constexpr uint8_t kDivideBy5Off = 0x8A;  // H chips: 60 MHz base clock
constexpr uint8_t kDivideBy5On = 0x8B;   // H chips: 12 MHz base clock
constexpr uint8_t kThreePhaseOn = 0x8C;
constexpr uint8_t kThreePhaseOff = 0x8D;
constexpr uint8_t kIdleClockBits = 0x8E;   // H chips: n + 1 clocks, no data
constexpr uint8_t kIdleClockBytes = 0x8F;  // H chips: (n + 1) x 8 clocks, no data
constexpr uint8_t kAdaptiveOn = 0x96;
constexpr uint8_t kAdaptiveOff = 0x97;
// The engine's answer to an opcode it does not know: this byte, then the opcode.
constexpr uint8_t kBadCommand = 0xFA;
// An opcode no chip knows; its 0xFA echo shows that the engine is in step with the host.
constexpr uint8_t kSyncProbe = 0xAA;

// Bits of a data-shifting opcode (bit 7 clear).
constexpr uint8_t kWriteOnFalling = 0x01;
constexpr uint8_t kBitMode = 0x02;
constexpr uint8_t kReadOnFalling = 0x04;
constexpr uint8_t kLsbFirst = 0x08;
constexpr uint8_t kDoWrite = 0x10;
constexpr uint8_t kDoRead = 0x20;
constexpr uint8_t kDoTms = 0x40;

// ADBUS pins with a fixed SPI role; chip select is one of ADBUS3..7.
constexpr uint8_t kPinSck = 0x01;
constexpr uint8_t kPinDo = 0x02;  // MOSI
constexpr uint8_t kPinDi = 0x04;  // MISO
constexpr int kFirstCsPin = 3;
constexpr int kLastCsPin = 7;

bool isHighSpeed(FtdiChip chip);
// The engine's clock before the divisor: 60 MHz on H chips (divide-by-5 off), else 12 MHz.
double baseClockHz(FtdiChip chip);

struct ClockChoice {
  uint16_t divisor = 0;
  double hz = 0;  // SCK = base / ((1 + divisor) x 2)
};
// The fastest clock not above `wantedHz` (the slowest the divisor reaches if even that is too
// fast; the fastest the chip has if `wantedHz` is above it).
ClockChoice clockFor(FtdiChip chip, uint32_t wantedHz);

struct SpiSetup {
  FtdiChip chip = FtdiChip::Ft232H;
  uint32_t clockHz = 1000000;
  int mode = 3;          // CPOL in bit 1, CPHA in bit 0
  int csPin = 3;         // ADBUS3
  double pauseUs = 100;  // chip select high after every frame
};

// Pin levels and directions between frames: SCK at its idle level, chip select high.
uint8_t idleLevels(const SpiSetup& setup);
uint8_t directions(const SpiSetup& setup);
// The opcode that shifts whole bytes out and in from a clock at this level, as the engine pairs
// them: from low, out on the falling edge and in on the rising one (0x31); from high, out on the
// rising edge and in on the falling one (0x34).
uint8_t shiftOpcode(bool clockStartsHigh);

// Clock source, divisor, loopback off, and the pins at rest.
std::vector<uint8_t> setupCommands(const SpiSetup& setup);
// Each 16-bit word as one chip-select cycle of exactly 16 clock cycles, MSB first, chip select
// rising with the clock at its idle level, then the pause with chip select high; the batch ends
// with send-immediate. Modes 1 and 3 make their first leading and last trailing edge with the
// pins' value command. The engine answers replyBytesPerFrame bytes per word.
void appendFrames(const SpiSetup& setup, const uint16_t* words, size_t count,
                  std::vector<uint8_t>& out);
size_t replyBytesPerFrame(const SpiSetup& setup);
// The word clocked in during one frame, from that frame's reply bytes.
uint16_t frameReply(const SpiSetup& setup, const uint8_t* bytes);
// Idle clocks that make up the pause at the chosen clock.
uint32_t pauseClocks(const SpiSetup& setup);
// Bus time of `count` frames with their pauses, as appendFrames clocks them (the cycles the
// engine clocks; edges made by pin commands add the commands' own time).
double framesSeconds(const SpiSetup& setup, size_t count);

}  // namespace vexa::mpsse
