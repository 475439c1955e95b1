#pragma once

#include <array>
#include <atomic>
#include <cerrno>

#include "platform/file_ops.h"

namespace vexa::testing {

// The machine's file operations, except that the n-th call of one of them fails with a chosen
// error. Calls may come from a writer thread.
class FaultyFileOps : public FileOps {
 public:
  // Writes at an offset count as writes; a link to an open file has its own count.
  enum Op { Create, Write, Sync, Rename, Close, SyncFolder, Link, kOps };

  // The `n`-th call of `op` from now on (1-based) fails with `error`.
  void failAt(Op op, int n, int error = EIO) {
    calls_[op] = 0;
    failAt_[op] = n;
    error_[op] = error;
  }
  int calls(Op op) const { return calls_[op]; }
  // No failures, no calls counted.
  void reset() {
    for (int op = 0; op < kOps; ++op) calls_[op] = failAt_[op] = 0;
  }

  int createNew(const std::string& path, mode_t mode) override {
    return hit(Create) ? -1 : FileOps::createNew(path, mode);
  }
  ssize_t write(int fd, const void* data, size_t length) override {
    return hit(Write) ? -1 : FileOps::write(fd, data, length);
  }
  ssize_t writeAt(int fd, const void* data, size_t length, off_t offset) override {
    return hit(Write) ? -1 : FileOps::writeAt(fd, data, length, offset);
  }
  int linkOpenFile(int fd, const std::string& to) override {
    return hit(Link) ? -1 : FileOps::linkOpenFile(fd, to);
  }
  int sync(int fd) override { return hit(Sync) ? -1 : FileOps::sync(fd); }
  int rename(const std::string& from, const std::string& to, bool replace) override {
    return hit(Rename) ? -1 : FileOps::rename(from, to, replace);
  }
  int close(int fd) override {
    if (!hit(Close)) return FileOps::close(fd);
    FileOps::close(fd);  // as the system does: the descriptor is gone whatever close says
    errno = error_[Close];
    return -1;
  }
  int syncFolder(const std::string& folder) override {
    return hit(SyncFolder) ? -1 : FileOps::syncFolder(folder);
  }

 private:
  bool hit(Op op) {
    if (++calls_[op] != failAt_[op]) return false;
    errno = error_[op];
    return true;
  }
  std::array<std::atomic<int>, kOps> calls_{};
  std::array<std::atomic<int>, kOps> failAt_{};
  std::array<int, kOps> error_{};
};

}  // namespace vexa::testing
