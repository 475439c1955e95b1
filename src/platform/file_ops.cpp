#include "platform/file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

namespace vexa {

int FileOps::createNew(const std::string& path, mode_t mode) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

ssize_t FileOps::write(int fd, const void* data, size_t length) {
  return ::write(fd, data, length);
}

int FileOps::sync(int fd) {
  return ::fsync(fd);
}

int FileOps::rename(const std::string& from, const std::string& to, bool replace) {
  if (replace) return ::rename(from.c_str(), to.c_str());
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the no-replace rename: a hard link fails on an existing name too.
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

int FileOps::remove(const std::string& path) {
  return ::unlink(path.c_str());
}

int FileOps::close(int fd) {
  return ::close(fd);
}

int FileOps::syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int r = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  errno = error;
  return r;
}

bool FileOps::writeAll(int fd, const void* data, size_t length) {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

FileOps& SystemFileOps() {
  static FileOps system;  // holds no state
  return system;
}

bool SyncUnsupported(int error) {
  return error == EINVAL || error == EROFS || error == ENOTSUP;
}

}  // namespace vexa
