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

}  // namespace

void PortShiftOut(AppContext& ctx, int32_t& word) {
  if (!parallelSelected(ctx)) return;
  Port port(ctx);
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

int32_t PortReadWord(AppContext& ctx, int16_t& address) {
  if (!parallelSelected(ctx)) return 0;
  address &= 0x7F;
  int32_t command = address * 256;
  PortShiftOut(ctx, command);
  Port port(ctx);
  port.out(4);
  port.out(5);
  int32_t result = 0;
  for (int n = 15; n >= 0; --n) {
    port.out(7);
    if (port.dataInIsOne()) result += 1 << n;
    port.out(5);
  }
  port.endFrame();
  return result;
}

void PortExchangeFrames(AppContext& ctx, const uint16_t* mosi, uint16_t* miso, size_t count) {
  for (size_t f = 0; f < count; ++f) miso[f] = 0;
  if (!parallelSelected(ctx)) return;
  Port port(ctx);
  for (size_t f = 0; f < count; ++f) {
    const bool receive = f > 0;
    const uint16_t word = mosi[f];
    uint16_t reply = 0;
    port.out(4);
    port.out(5);
    for (int n = 15; n >= 0; --n) {
      port.out(7);
      if (receive && port.dataInIsOne()) reply = static_cast<uint16_t>(reply | 1u << n);
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

void PortReset(AppContext& ctx) {
  if (!parallelSelected(ctx)) return;
  PortIo& io = *ctx.platform.port;
  const uint16_t data = static_cast<uint16_t>(ctx.settings.PortAddress);
  io.vbOut(static_cast<uint16_t>(data + 1), 0x40);
  DelayMs(ctx, 0.1f);
  io.vbOut(data, 0);
}

}  // namespace vexa
