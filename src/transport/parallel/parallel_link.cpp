#include "transport/parallel/parallel_link.h"

#include "transport/parallel/parallel_spi.h"

namespace vexa {

bool ParallelPortLink::transfer(const uint16_t* out, uint16_t* in, size_t count, std::string&) {
  if (in != nullptr)
    PortFrames(ctx_, out, in, count);
  else
    PortCommands(ctx_, out, count);
  ++requests_;
  return true;
}

}  // namespace vexa
