#include "transport/ftdi/ftdi_spi.h"

#include <cstdio>

namespace vexa {

std::unique_ptr<FtdiSpiLink> FtdiSpiLink::open(FtdiIo& io, const FtdiSelector& selector,
                                               mpsse::SpiSetup setup, std::string& cause) {
  FtdiBoard board;
  if (!io.open(selector, board, cause)) return nullptr;
  setup.chip = board.chip;
  std::unique_ptr<FtdiSpiLink> link(new FtdiSpiLink(io, board, setup));
  if (setup.csPin < mpsse::kFirstCsPin || setup.csPin > mpsse::kLastCsPin) {
    cause = "chip select ADBUS" + std::to_string(setup.csPin) +
            " is not free for it: choose one of ADBUS3 to ADBUS7";
    return nullptr;
  }
  // An opcode no chip knows must come back as 0xFA and itself: then the channel is in MPSSE
  // mode and in step with us.
  uint8_t echo[2] = {0, 0};
  if (!link->write({mpsse::kSyncProbe, mpsse::kSendImmediate}, cause) ||
      !link->read(echo, 2, 0, cause))
    return nullptr;
  if (echo[0] != mpsse::kBadCommand || echo[1] != mpsse::kSyncProbe) {
    char got[48];
    std::snprintf(got, sizeof got, "0x%02X 0x%02X", echo[0], echo[1]);
    cause = "the MPSSE engine of " + board.busPort() + " answered its sync probe with " + got +
            " instead of 0xFA 0xAA: unplug and replug the board";
    return nullptr;
  }
  if (!link->write(mpsse::setupCommands(setup), cause)) return nullptr;
  return link;
}

FtdiSpiLink::~FtdiSpiLink() {
  io_.close();
}

bool FtdiSpiLink::write(const std::vector<uint8_t>& bytes, std::string& cause) {
  ++requests_;
  return io_.write(bytes.data(), bytes.size(), cause);
}

bool FtdiSpiLink::read(uint8_t* data, size_t length, double busSeconds, std::string& cause) {
  ++requests_;
  return io_.read(data, length, busSeconds, cause);
}

bool FtdiSpiLink::transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) {
  if (count == 0) return true;
  commands_.clear();
  mpsse::appendFrames(setup_, out, count, commands_);
  const size_t perFrame = mpsse::replyBytesPerFrame(setup_);
  replies_.assign(perFrame * count, 0);
  // The deadline allows for the frames and pauses themselves: at a slow clock or with a long
  // pause the answers come later than the USB timeout alone would wait.
  if (!write(commands_, cause) ||
      !read(replies_.data(), replies_.size(), mpsse::framesSeconds(setup_, count), cause))
    return false;
  for (size_t i = 0; in != nullptr && i < count; ++i)
    in[i] = mpsse::frameReply(setup_, replies_.data() + perFrame * i);
  return true;
}

}  // namespace vexa
