// libFuzzer target: the log reader on any bytes, from a file in memory. A read either fails with
// a cause or gives channels of equal length whose values are finite, one per sample the files
// count; nothing may overflow or read past a line on the way.
#include <sys/mman.h>
#include <unistd.h>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "analysis/log_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("log", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (write(fd, data, size) != ssize_t(size)) {
    close(fd);
    return 0;
  }
  vexa::analysis::LogRecord record;
  vexa::analysis::LogError error;
  const bool read =
      vexa::analysis::ReadLogFile("/proc/self/fd/" + std::to_string(fd), record, error);
  close(fd);
  if (!read) {
    if (error.what.empty()) std::abort();
    return 0;
  }
  int64_t counted = 0;
  for (const auto& f : record.files) counted += f.samples;
  if (record.channels.empty() || counted != record.samples() || !(record.sampleInterval >= 0.0))
    std::abort();
  for (const auto& c : record.channels) {
    if (int64_t(c.values.size()) != counted || c.newData.size() != c.values.size()) std::abort();
    for (size_t i = 0; i < c.values.size(); ++i)
      if (!std::isfinite(c.values[i]) || c.newData[i] > 1) std::abort();
  }
  return 0;
}
