#pragma once

#include <sys/types.h>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::analysis {

// Why reading stopped: the line (1-based, 0 for the file as a whole) and the cause.
struct LogFailure {
  LogFailure(int64_t line, std::string what) : line(line), what(std::move(what)) {}
  int64_t line;
  std::string what;
};

// The lines of a log file, read in a stream: a log may hold millions of lines, and only the
// values taken from them are kept, never the text. What is not a regular file (a folder, a FIFO,
// a device such as /dev/zero) is refused without waiting on it; a NUL byte or a line longer
// than any log line stops the read at that line, so a hostile file costs neither time nor memory.
// Failures are thrown as LogFailure.
class LogFileLines {
 public:
  static constexpr size_t kMaxLineLength = 64 * 1024;

  // `zeroTailEnds`: NUL bytes from some point to the end of the file (the blocks a power cut
  // left unwritten) end the file there instead of stopping the read.
  explicit LogFileLines(const std::string& path, bool zeroTailEnds = false);
  ~LogFileLines();
  LogFileLines(const LogFileLines&) = delete;
  LogFileLines& operator=(const LogFileLines&) = delete;

  // The next line, without its LF or CR LF; false after the last. The view lasts until the next
  // call.
  bool next(std::string_view& line);
  // The number of the line `next` gave last (1-based).
  int64_t lineNumber() const { return line_; }
  // Whether the line `next` gave last ended with a line break (a line cut short does not).
  bool lineEnded() const { return ended_; }
  // No line follows the one `next` gave last. Ends the view `next` gave.
  bool atEnd();

  // Where the file's tail of NUL bytes begins (a byte offset), -1 when it has none.
  int64_t zeroTailAt() const { return zeroTailAt_; }
  // The line in which it begins (1-based).
  int64_t zeroTailLine() const { return zeroTailLine_; }

  int64_t fileSize() const { return size_; }
  int64_t bytesConsumed() const { return consumed_; }
  // The file's identity, to tell the same file given twice under two names.
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }

 private:
  size_t fill();  // moves the unread bytes to the front, reads more; 0 at the end of the file
  bool take(std::string_view& line, size_t stop, bool ended);
  // Whether every byte from buffer_[at] to the end of the file is a NUL. Reads the rest.
  bool onlyNulsFrom(size_t at);

  int fd_ = -1;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // first unread byte in buffer_
  size_t end_ = 0;    // one past the last byte read into buffer_
  int64_t line_ = 0;
  bool ended_ = true;
  int64_t size_ = 0;
  int64_t consumed_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool zeroTailEnds_ = false;
  int64_t zeroTailAt_ = -1;
  int64_t zeroTailLine_ = 0;
};

}  // namespace vexa::analysis
