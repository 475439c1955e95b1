// libFuzzer target: the CommPort.cfg reading rule on any bytes. Whatever it reads must write
// back and read again to the same four values, and nothing may overflow on the way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "app/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > vexa::kMaxSettingsFileBytes) return 0;  // the file reader never passes more
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  vexa::Settings read;
  vexa::ReadSettingsFields(in, read);

  std::istringstream again(vexa::SettingsFileText(read));
  vexa::Settings back;
  vexa::ReadSettingsFields(again, back);
  if (back.Interface != read.Interface || back.PortAddress != read.PortAddress ||
      back.Factory != read.Factory || back.Device != read.Device)
    std::abort();
  return 0;
}
