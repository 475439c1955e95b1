#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/app_context.h"
#include "transport/spi_link.h"

namespace vexa {

// The parallel port as a link, on ctx's port address. It cannot fail: the port has no way to
// say that nothing is wired to it. With `in` null the frames go out as commands only (writes),
// with no status read; otherwise as PortExchangeFrames sends them.
class ParallelPortLink : public SpiLink {
 public:
  explicit ParallelPortLink(AppContext& ctx) : ctx_(ctx) {}
  bool transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) override;
  uint64_t requests() const override { return requests_; }
  // A read's reply comes in a frame of zeros, which leaves the data line held.
  uint16_t replyFrameAfter(uint16_t) const override { return 0; }

 private:
  AppContext& ctx_;
  uint64_t requests_ = 0;
};

}  // namespace vexa
