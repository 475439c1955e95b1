#include "analysis/log_file_lines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace vexa::analysis {

namespace {

constexpr size_t kChunk = 256 * 1024;

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

}  // namespace

LogFileLines::LogFileLines(const std::string& path, bool zeroTailEnds)
    : zeroTailEnds_(zeroTailEnds) {
  // Without O_NONBLOCK a FIFO with no writer would hold the open forever.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw LogFailure{0, std::string("cannot open the file: ") + std::strerror(errno)};
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int e = errno;
    ::close(fd_);
    throw LogFailure{0, std::string("cannot open the file: ") + std::strerror(e)};
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw LogFailure{0, "not a regular file (" + kindOf(st.st_mode) + ")"};
  }
  size_ = int64_t(st.st_size);
  device_ = st.st_dev;
  inode_ = st.st_ino;
  buffer_.resize(kChunk + kMaxLineLength);
}

LogFileLines::~LogFileLines() {
  if (fd_ >= 0) ::close(fd_);
}

size_t LogFileLines::fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (n >= 0) {
      end_ += size_t(n);
      return size_t(n);
    }
    if (errno != EINTR)
      throw LogFailure{line_ + 1, std::string("cannot read the file: ") + std::strerror(errno)};
  }
}

bool LogFileLines::onlyNulsFrom(size_t at) {
  const auto zeros = [](const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (p[i] != '\0') return false;
    return true;
  };
  if (!zeros(buffer_.data() + at, end_ - at)) return false;
  std::vector<char> rest(kChunk);
  for (;;) {
    const ssize_t n = ::read(fd_, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw LogFailure{line_ + 1, std::string("cannot read the file: ") + std::strerror(errno)};
    if (n == 0) return true;
    if (!zeros(rest.data(), size_t(n))) return false;
  }
}

bool LogFileLines::next(std::string_view& line) {
  if (zeroTailAt_ >= 0) return false;
  size_t scanned = begin_;  // the bytes before `scanned` hold neither a line break nor a NUL
  for (;;) {
    const char* from = buffer_.data() + scanned;
    const char* lf = static_cast<const char*>(std::memchr(from, '\n', end_ - scanned));
    const size_t upto = lf ? size_t(lf - from) : end_ - scanned;
    if (const char* nul = static_cast<const char*>(std::memchr(from, '\0', upto))) {
      const size_t at = size_t(nul - buffer_.data());
      if (!zeroTailEnds_ || !onlyNulsFrom(at))
        throw LogFailure{line_ + 1, "a NUL byte: not a text file"};
      // The file ends here; what came before the NULs is its last line, cut short if anything.
      zeroTailAt_ = consumed_ + int64_t(at - begin_);
      zeroTailLine_ = line_ + 1;
      end_ = at;
      return at > begin_ && take(line, at, false);
    }
    const size_t stop = scanned + upto;
    if (stop - begin_ > kMaxLineLength)
      throw LogFailure{line_ + 1, "a line longer than " + std::to_string(kMaxLineLength) +
                                      " characters: not a log file of this program"};
    if (lf) return take(line, stop, true);
    const size_t kept = end_ - begin_;
    if (fill() == 0) return kept > 0 && take(line, end_, false);  // a last line without a break
    scanned = begin_ + kept;
  }
}

bool LogFileLines::take(std::string_view& line, size_t stop, bool ended) {
  line = std::string_view(buffer_.data() + begin_, stop - begin_);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  ended_ = ended;
  consumed_ += int64_t(stop - begin_) + (ended ? 1 : 0);
  begin_ = ended ? stop + 1 : stop;
  ++line_;
  return true;
}

bool LogFileLines::atEnd() {
  if (begin_ < end_) return false;
  if (zeroTailAt_ >= 0) return true;
  return fill() == 0;
}

}  // namespace vexa::analysis
