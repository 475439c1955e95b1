#include "platform/ftdi_trace.h"

namespace vexa {

std::string TracingFtdiIo::line(const char* prefix, const uint8_t* data, size_t length) {
  static const char kHex[] = "0123456789abcdef";
  std::string text(prefix);
  text.reserve(text.size() + 3 * length);
  for (size_t i = 0; i < length; ++i) {
    if (i > 0) text += ' ';
    text += kHex[data[i] >> 4];
    text += kHex[data[i] & 0x0F];
  }
  return text;
}

bool TracingFtdiIo::write(const uint8_t* data, size_t length, std::string& cause) {
  sink_(line("mpsse out: ", data, length));
  return inner_.write(data, length, cause);
}

bool TracingFtdiIo::read(uint8_t* data, size_t length, double busSeconds, std::string& cause) {
  if (!inner_.read(data, length, busSeconds, cause)) return false;
  sink_(line("mpsse in: ", data, length));
  return true;
}

}  // namespace vexa
