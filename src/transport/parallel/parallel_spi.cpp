#include "transport/parallel/parallel_spi.h"

#include "app/delay.h"

namespace vexa {

namespace {

constexpr uint8_t kStatusDataIn = 0x40;

class Port {
 public:
  explicit Port(AppContext& ctx)
      : ctx_(ctx),
        io_(*ctx.platform.port),
        data_(static_cast<uint16_t>(ctx.settings.PortAddress)),
        status_(static_cast<uint16_t>(data_ + 1)) {}

  // Every write inside a frame is followed by the calibrated delay of 0, which adds no wait.
  void out(uint8_t value) {
    io_.vbOut(data_, value);
    DelayMs(ctx_, 0.0f);
  }
  bool dataInIsOne() { return (io_.vbInp(status_) & kStatusDataIn) == 0; }
  void endFrame() {
    out(0);
    DelayMs(ctx_, 0.1f);
  }

 private:
  AppContext& ctx_;
  PortIo& io_;
  uint16_t data_;
  uint16_t status_;
};

bool parallelSelected(const AppContext& ctx) {
  return ctx.settings.Interface == kInterfaceParallel;
}

void shiftOut(Port& port, int32_t word) {
  port.out(4);
  port.out(5);
  for (int n = 15; n >= 0; --n) {
    const uint8_t d = (word >> n) & 1 ? 0 : 4;
    port.out(7);
    port.out(static_cast<uint8_t>(d + 3));
    port.out(static_cast<uint8_t>(d + 1));
    port.out(5);
  }
  port.endFrame();
}

// Frame 0 goes out as a command (its reply answers a frame before the list and is not read);
// a later frame of 0 as a read's reply frame with the data line held and the status read on
// each clock; any other with the status read after each rising clock.
void exchange(Port& port, const uint16_t* mosi, uint16_t* miso, size_t count) {
  for (size_t f = 0; f < count; ++f) {
    const uint16_t word = mosi[f];
    if (f == 0) {
      shiftOut(port, word);
      miso[f] = 0;
      continue;
    }
    uint16_t reply = 0;
    port.out(4);
    port.out(5);
    for (int n = 15; n >= 0; --n) {
      port.out(7);
      if (port.dataInIsOne()) reply = static_cast<uint16_t>(reply | 1u << n);
      if (word != 0) {
        const uint8_t d = (word >> n) & 1 ? 0 : 4;
        port.out(static_cast<uint8_t>(d + 3));
        port.out(static_cast<uint8_t>(d + 1));
      }
      port.out(5);
    }
    port.endFrame();
    miso[f] = reply;
  }
}

}  // namespace

void PortShiftOut(AppContext& ctx, int32_t& word) {
  if (!parallelSelected(ctx)) return;
  Port port(ctx);
  shiftOut(port, word);
}

int32_t PortReadWord(AppContext& ctx, int16_t& address) {
  if (!parallelSelected(ctx)) return 0;
  address &= 0x7F;
  const uint16_t frames[2] = {static_cast<uint16_t>(address * 256), 0};
  uint16_t replies[2] = {0, 0};
  Port port(ctx);
  exchange(port, frames, replies, 2);
  return replies[1];
}

void PortExchangeFrames(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count) {
  for (size_t f = 0; f < count; ++f) miso[f] = 0;
  if (!parallelSelected(ctx)) return;
  Port port(ctx);
  exchange(port, mosi, miso, count);
}

void PortFrames(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count) {
  Port port(ctx);
  exchange(port, mosi, miso, count);
}

void PortCommands(AppContext& ctx, const uint16_t* mosi, size_t count) {
  Port port(ctx);
  for (size_t f = 0; f < count; ++f) shiftOut(port, mosi[f]);
}

void PortReset(AppContext& ctx) {
  if (!parallelSelected(ctx)) return;
  PortIo& io = *ctx.platform.port;
  const uint16_t data = static_cast<uint16_t>(ctx.settings.PortAddress);
  io.vbOut(static_cast<uint16_t>(data + 1), 0x40);
  DelayMs(ctx, 0.1f);
  io.vbOut(data, 0);
}

}  // namespace vexa
