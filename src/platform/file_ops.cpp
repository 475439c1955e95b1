#include "platform/file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace vexa {

int FileOps::createNew(const std::string& path, mode_t mode) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

ssize_t FileOps::write(int fd, const void* data, size_t length) {
  return ::write(fd, data, length);
}

ssize_t FileOps::writeAt(int fd, const void* data, size_t length, off_t offset) {
  return ::pwrite(fd, data, length, offset);
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

int FileOps::linkOpenFile(int fd, const std::string& to) {
  // The descriptor's entry in /proc names the file itself, even once its name has gone or been
  // taken by another file; linkat follows it to the inode.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::access("/proc/self/fd", F_OK) != 0) {
    errno = ENOSYS;  // no /proc: the caller renames by name instead
    return -1;
  }
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW);
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

bool FileOps::writeAllAt(int fd, const void* data, size_t length, off_t offset) {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = writeAt(fd, bytes, length, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes += n;
    offset += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool ReplaceFileWhole(FileOps& files, const std::string& path, const std::string& text, mode_t mode,
                      std::string& cause) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  struct stat old {};
  // The permissions of the file at the name itself (a link's target is not this file), and never
  // the set-user-ID, set-group-ID or sticky bit: a settings file is no program.
  if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode = old.st_mode & 0777;
  mode &= 0777;
  std::random_device seed;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%06x", static_cast<unsigned>(seed() & 0xFFFFFF));
    temporary = path + suffix;
    fd = files.createNew(temporary, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  const auto failed = [&](int error) {
    cause = "cannot write " + path + ": " + std::strerror(error);
    return false;
  };
  if (fd < 0) return failed(errno);
  // The umask narrowed the new file's permissions; the old file's are the ones wanted.
  bool ok = ::fchmod(fd, mode) == 0 && files.writeAll(fd, text.data(), text.size()) &&
            (files.sync(fd) == 0 || SyncUnsupported(errno));
  int error = errno;
  if (files.close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && files.rename(temporary, path, true) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return failed(error);
  }
  if (files.syncFolder(folder) != 0 && !SyncUnsupported(errno)) return failed(errno);
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
