#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/app_context.h"
#include "transport/spi_link.h"

namespace vexa {

// The selected USB card as a link: frames go out on chip-select 1 in transfers of up to 16
// words, each frame its own chip-select cycle with the card's word delay after it. The chain of
// commands runs on across transfers: the sensor keeps its reply until the next frame, however
// long the pause between two transfers. A failed transfer marks the card unusable and names
// the card protocol's error; a card already unusable moves nothing.
class UsbCardLink : public SpiLink {
 public:
  explicit UsbCardLink(AppContext& ctx) : ctx_(ctx) {}
  bool transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) override;
  uint64_t requests() const override { return requests_; }
  size_t framesDelivered() const override { return delivered_; }

 private:
  AppContext& ctx_;
  size_t delivered_ = 0;
  uint64_t requests_ = 0;
};

}  // namespace vexa
