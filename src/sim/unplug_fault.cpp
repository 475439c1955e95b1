#include "sim/unplug_fault.h"

#include <charconv>
#include <string>

namespace vexa::sim {

uint16_t UnplugAfterFrames::frameStart() {
  if (!unplugged_ && left_ == 0) {
    unplugged_ = true;
    if (unplug_) unplug_();
  }
  inFrame_ = !unplugged_;
  if (!inFrame_) return 0xFFFF;  // a data line nobody drives reads high
  --left_;
  return next_.frameStart();
}

void UnplugAfterFrames::frameEnd(uint16_t mosi, int bitCount) {
  if (inFrame_) next_.frameEnd(mosi, bitCount);
  inFrame_ = false;
}

bool ParseUnplugFault(const std::string& text, uint64_t& frames) {
  static constexpr std::string_view kPrefix = "unplug-after=";
  if (text.compare(0, kPrefix.size(), kPrefix) != 0) return false;
  const char* begin = text.data() + kPrefix.size();
  const char* end = text.data() + text.size();
  if (begin == end || *begin < '0' || *begin > '9') return false;
  const auto r = std::from_chars(begin, end, frames);
  return r.ec == std::errc() && r.ptr == end;
}

}  // namespace vexa::sim
