#include "app/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vexa {

namespace {

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite,
                         std::string& error) {
  struct stat existing {};
  if (!overwrite && ::lstat(path.c_str(), &existing) == 0) {
    error = path + " exists (give --overwrite to replace it)";
    return false;
  }
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = ::fchmod(fd, 0644) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
  int cause = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    cause = errno;
  }
  if (ok) {
    // link() refuses an existing name, so a file that appeared meanwhile is not replaced either.
    ok = overwrite ? ::rename(temporary.c_str(), path.c_str()) == 0
                   : ::link(temporary.c_str(), path.c_str()) == 0;
    if (!ok) cause = errno;
  }
  if (!ok || !overwrite) ::unlink(temporary.c_str());
  if (!ok) error = "cannot write " + path + ": " + std::strerror(cause);
  return ok;
}

}  // namespace vexa
