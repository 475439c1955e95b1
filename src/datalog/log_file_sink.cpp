#include "datalog/log_file_sink.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

namespace vexa::datalog {

namespace {

// Less room than this on the disk before the first sample is a full disk.
constexpr unsigned long long kLeastRoomBytes = 1024 * 1024;

std::string errorText(int error) {
  return std::strerror(error);
}

std::string fileAccessText(const std::string& fileName) {
  return "\r\nFILE ACCESS ERROR\r\n\r\nFile name = " + fileName +
         "\r\n\r\nThis file may already be open by another application.\r\n\r\nClose the file "
         "or choose a different file name.";
}

std::string writeErrorText(const std::string& fileName, const std::string& cause,
                           const std::string& kept) {
  return "\r\nFILE WRITE ERROR\r\n\r\nFile name = " + fileName +
         "\r\n\r\nThe file could not be written: " + cause + ".\r\n\r\nThe log run has stopped. " +
         kept + "Files finished before this one are complete.";
}

std::string partialName(const std::string& fileName) {
  return fileName + std::string(kPartialSuffix);
}

// The lock file's pid, or 0.
long lockOwner(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  return n > 0 ? std::strtol(text, nullptr, 10) : 0;
}

bool validNumber(const char* p, const char* end, int64_t most, int64_t& n) {
  if (p == end || *p < '1' || *p > '9' || end - p > 18) return false;
  n = 0;
  for (; p != end; ++p) {
    if (*p < '0' || *p > '9') return false;
    n = n * 10 + (*p - '0');
  }
  return n <= most;
}

}  // namespace

std::vector<std::string> ExistingLogFiles(const std::string& directory, const std::string& name,
                                          int64_t files, const LogFormat& format) {
  std::vector<std::pair<int64_t, std::string>> found;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return {};
  const std::string head = name + std::string(kFileNumberJoin);
  while (const dirent* e = ::readdir(dir)) {
    const std::string entry = e->d_name;
    if (entry.size() <= head.size() || entry.compare(0, head.size(), head) != 0) continue;
    std::string rest = entry.substr(head.size());
    if (rest.size() > kPartialSuffix.size() &&
        rest.compare(rest.size() - kPartialSuffix.size(), kPartialSuffix.size(), kPartialSuffix) ==
            0)
      rest.resize(rest.size() - kPartialSuffix.size());
    if (rest.size() <= format.extension.size() ||
        rest.compare(rest.size() - format.extension.size(), format.extension.size(),
                     format.extension) != 0)
      continue;
    int64_t n = 0;
    if (validNumber(rest.data(), rest.data() + rest.size() - format.extension.size(), files, n))
      found.emplace_back(n, entry);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (auto& f : found) names.push_back(std::move(f.second));
  return names;
}

std::string LogNameProblem(const std::string& name, const LogFormat& format) {
  if (name == "." || name == ".." || name.find('/') != std::string::npos)
    return "the file name '" + name + "' would put the log files outside their folder";
  for (const char c : name) {
    if (c == format.separator)
      return std::string("the file name may not hold the files' separator (") +
             (c == '\t' ? "a tab" : "a comma") + "): the program could not read the files back";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return "the file name may not hold a line break or another control character";
  }
  return "";
}

LogFileSink::LogFileSink(FileOps& files, Clock& clock, StreamLimits limits)
    : files_(files), clock_(clock), limits_(limits) {}

LogFileSink::~LogFileSink() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
  if (fd_ >= 0) files_.close(fd_);  // a file not ended stays as its partial
  releaseLock();
}

size_t LogFileSink::peakQueuedBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peakQueued_;
}

void LogFileSink::fail(SinkFailureKind kind, const std::string& cause, const std::string& message) {
  if (failure_.kind != SinkFailureKind::None) return;
  failure_ = {kind, cause, message};
}

void LogFileSink::releaseLock() {
  if (lockFd_ < 0) return;
  // Removed while still held: a run that opened it meanwhile finds it gone and takes a new one.
  ::unlink(lockPath_.c_str());
  ::close(lockFd_);
  lockFd_ = -1;
}

bool LogFileSink::beginRun(const LogRunPlan& plan) {
  plan_ = plan;
  lines_ = SampleLineWriter(plan.format);
  const std::string first = LogFileName(plan.fileName, 1, plan.format);
  const std::string problem = LogNameProblem(plan.fileName, plan.format);
  if (!problem.empty()) {
    fail(SinkFailureKind::Refused, problem, fileAccessText(first));
    return false;
  }

  lockPath_ = plan.directory + "/." + plan.fileName + plan.format.extension + ".lock";
  for (int attempt = 0; attempt < 8 && lockFd_ < 0; ++attempt) {
    const int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      const int error = errno;
      fail(SinkFailureKind::Refused, "cannot create " + lockPath_ + ": " + errorText(error),
           fileAccessText(first));
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const long owner = lockOwner(fd);
      ::close(fd);
      const std::string who =
          owner > 0 ? "another log run (process " + std::to_string(owner) + ")" : "another log run";
      fail(SinkFailureKind::Refused, first + " is being written by " + who,
           "\r\nFILE IN USE\r\n\r\nFile name = " + first +
               "\r\n\r\nThe files of this name are "
               "being written by " +
               who +
               ".\r\n\r\nWait for it to end or choose a different "
               "file name.");
      return false;
    }
    // The lock counts only on the file that still has the name: its holder may have removed it.
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) == 0 && ::lstat(lockPath_.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      lockFd_ = fd;
    } else {
      ::close(fd);
    }
  }
  if (lockFd_ < 0) {
    fail(SinkFailureKind::Refused, "cannot lock " + lockPath_, fileAccessText(first));
    return false;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(lockFd_, 0) != 0 || ::pwrite(lockFd_, pid.data(), pid.size(), 0) < 0) {
    const int error = errno;
    fail(SinkFailureKind::Refused, "cannot write " + lockPath_ + ": " + errorText(error),
         error == ENOSPC ? "\r\nDISK FULL\r\n\r\nFolder = " + plan.directory +
                               "\r\n\r\nThere is no room for the log files. Free some space or "
                               "choose another folder."
                         : fileAccessText(first));
    return false;
  }

  struct statvfs room {};
  if (::statvfs(plan.directory.c_str(), &room) == 0 &&
      static_cast<unsigned long long>(room.f_bavail) * room.f_frsize < kLeastRoomBytes) {
    fail(SinkFailureKind::Refused, "no room left on the disk of " + plan.directory,
         "\r\nDISK FULL\r\n\r\nFolder = " + plan.directory +
             "\r\n\r\nThere is no room for the log files. Free some space or choose another "
             "folder.");
    return false;
  }

  if (!plan.replaceExisting) {
    const auto taken = ExistingLogFiles(plan.directory, plan.fileName, plan.files, plan.format);
    if (!taken.empty()) {
      fail(SinkFailureKind::Refused, plan.directory + "/" + taken.front() + " already exists",
           "\r\nFILE EXISTS\r\n\r\nFile name = " + taken.front() +
               "\r\n\r\nA file of this name is already in the folder; it is kept.\r\n\r\n"
               "Choose a different file name, or agree to replace it.");
      return false;
    }
  }
  writer_ = std::thread([this] { writerLoop(); });
  return true;
}

bool LogFileSink::beginFile(const LogFileStart& file) {
  name_ = file.name;
  partialPath_ = plan_.directory + "/" + partialName(file.name);
  samples_ = 0;
  int fd = files_.createNew(partialPath_, 0666);
  if (fd < 0 && errno == EEXIST && plan_.replaceExisting) {
    // The partial of an earlier run, which the user agreed to replace.
    files_.remove(partialPath_);
    fd = files_.createNew(partialPath_, 0666);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fd_ = fd;
  }
  if (fd < 0) {
    const int error = errno;
    fail(SinkFailureKind::Open, "cannot create " + partialPath_ + ": " + errorText(error),
         fileAccessText(file.name));
    return false;
  }
  const std::string header = HeaderBlock(file.header, plan_.channels, plan_.format);
  partialHeaderBytes_ = header.size();
  block_.clear();
  block_.reserve(limits_.blockBytes + 4096);
  block_ = header;
  blockStartedAt_ = clock_.monotonicSeconds();
  handOver();  // the header is on disk at once: a file killed before its first block reads
  return failure_.kind == SinkFailureKind::None;
}

void LogFileSink::handOver() {
  std::string next;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_ += block_.size();
    peakQueued_ = std::max(peakQueued_, queued_);
    queue_.push_back(std::move(block_));
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
    if (queued_ > limits_.queueBytes) {
      fail(SinkFailureKind::TooSlow,
           "the disk could not keep up: " + std::to_string(queued_) + " bytes waiting for " +
               partialPath_,
           "\r\nDISK TOO SLOW\r\n\r\nFile name = " + name_ +
               "\r\n\r\nThe samples came faster than the disk could store them. The log run "
               "stopped after sample " +
               std::to_string(samples_) + "; the file holds the samples taken.");
    }
  }
  wake_.notify_one();
  block_ = std::move(next);
  block_.clear();
  if (block_.capacity() < limits_.blockBytes) block_.reserve(limits_.blockBytes + 4096);
  blockStartedAt_ = clock_.monotonicSeconds();
}

bool LogFileSink::addSample(int64_t sampleNumber, const SampleValues& values) {
  if (failure_.kind != SinkFailureKind::None) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (writeError_ != 0) {
      fail(SinkFailureKind::Write, "cannot write " + partialPath_ + ": " + errorText(writeError_),
           writeErrorText(name_, errorText(writeError_),
                          "The samples written so far are in " + partialName(name_) + ". "));
      return false;
    }
  }
  lines_.append(block_, sampleNumber, values, plan_.units);
  ++samples_;
  if (block_.size() >= limits_.blockBytes ||
      clock_.monotonicSeconds() - blockStartedAt_ >= limits_.handOverSeconds)
    handOver();
  return failure_.kind == SinkFailureKind::None;
}

void LogFileSink::writerLoop() {
  using Steady = std::chrono::steady_clock;
  const auto syncEvery = std::chrono::duration<double>(limits_.syncSeconds);
  auto syncedAt = Steady::now();
  bool unsynced = false;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, syncEvery, [this] { return stop_ || !queue_.empty(); });
    if (!queue_.empty()) {
      std::string block = std::move(queue_.front());
      queue_.pop_front();
      writing_ = true;
      const int fd = fd_;
      const bool skip = writeError_ != 0;
      lock.unlock();
      const bool ok = skip || files_.writeAll(fd, block.data(), block.size());
      const int error = ok ? 0 : errno;
      lock.lock();
      writing_ = false;
      queued_ -= block.size();
      if (!ok && writeError_ == 0) writeError_ = error;
      unsynced = true;
      block.clear();
      if (spare_.size() < 4) spare_.push_back(std::move(block));
    }
    if (unsynced && writeError_ == 0 && fd_ >= 0 && Steady::now() - syncedAt >= syncEvery) {
      // What was taken survives a power cut, a second or so after it was taken.
      const int fd = fd_;
      writing_ = true;
      lock.unlock();
      const bool ok = files_.sync(fd) == 0 || SyncUnsupported(errno);
      const int error = errno;
      lock.lock();
      writing_ = false;
      if (!ok && writeError_ == 0) writeError_ = error;
      syncedAt = Steady::now();
      unsynced = false;
    }
    if (queue_.empty() && !writing_) drained_.notify_all();
    if (stop_ && queue_.empty()) return;
  }
}

int LogFileSink::takeFileFromWriter() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.notify_one();
  drained_.wait(lock, [this] { return queue_.empty() && !writing_; });
  const int fd = fd_;
  fd_ = -1;  // the writer neither writes nor syncs it any more
  return fd;
}

bool LogFileSink::endFile(const LogHeader& header, std::string& path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) return false;
  }
  if (!block_.empty()) handOver();
  const int fd = takeFileFromWriter();
  int error = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    error = writeError_;
  }
  if (files_.close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    // Worse news than a disk too slow, which only stopped the run: the file is not whole.
    failure_ = {SinkFailureKind::Write, "cannot write " + partialPath_ + ": " + errorText(error),
                writeErrorText(name_, errorText(error),
                               "The samples written so far are in " + partialName(name_) + ". ")};
    return false;
  }
  return publish(header, path);
}

bool LogFileSink::publish(const LogHeader& header, std::string& path) {
  const std::string target = plan_.directory + "/" + name_;
  const std::string kept = "The samples taken are in " + partialName(name_) + ". ";
  const auto failed = [&](const std::string& what, int error) {
    // Over a disk too slow, which only stopped the run, a file not published is the worse news.
    failure_ = {SinkFailureKind::Write, what + ": " + errorText(error),
                writeErrorText(name_, errorText(error), kept)};
    return false;
  };

  const int in = ::open(partialPath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return failed("cannot read " + partialPath_, errno);
  std::string temporary;
  int out = -1;
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 16 && out < 0; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%06x", static_cast<unsigned>(random() & 0xFFFFFF));
    temporary = plan_.directory + "/." + name_ + suffix;
    out = files_.createNew(temporary, 0666);
    if (out < 0 && errno != EEXIST) break;
  }
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return failed("cannot create " + temporary, error);
  }
  const auto abandon = [&](const std::string& what) {
    const int error = errno;
    ::close(in);
    if (out >= 0) files_.close(out);
    files_.remove(temporary);
    return failed(what, error);
  };

  const std::string head = HeaderBlock(header, plan_.channels, plan_.format);
  if (!files_.writeAll(out, head.data(), head.size())) return abandon("cannot write " + temporary);
  std::vector<char> piece(limits_.copyBytes);
  off_t at = static_cast<off_t>(partialHeaderBytes_);
  for (;;) {
    const ssize_t n = ::pread(in, piece.data(), piece.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return abandon("cannot read " + partialPath_);
    if (n == 0) break;
    if (!files_.writeAll(out, piece.data(), static_cast<size_t>(n)))
      return abandon("cannot write " + temporary);
    at += n;
  }
  ::close(in);
  if (files_.sync(out) != 0 && !SyncUnsupported(errno)) {
    const int error = errno;
    files_.close(out);
    out = -1;
    errno = error;
    return abandon("cannot sync " + temporary);
  }
  const int closed = files_.close(out);
  out = -1;
  if (closed != 0) {
    const int error = errno;
    files_.remove(temporary);
    return failed("cannot close " + temporary, error);
  }
  if (files_.rename(temporary, target, plan_.replaceExisting) != 0) {
    const int error = errno;
    files_.remove(temporary);
    return failed("cannot rename " + temporary + " to " + target, error);
  }
  if (files_.syncFolder(plan_.directory) != 0 && !SyncUnsupported(errno)) {
    // The name may not survive a power cut yet; the file itself is complete.
    return failed("cannot sync the folder " + plan_.directory, errno);
  }
  files_.remove(partialPath_);
  path = target;
  return true;
}

}  // namespace vexa::datalog
