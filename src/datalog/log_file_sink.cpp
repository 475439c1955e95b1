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

std::string diskFullText(const std::string& directory) {
  return "\r\nDISK FULL\r\n\r\nFolder = " + directory +
         "\r\n\r\nThere is no room for the log files. Free some space or choose another folder.";
}

// A hidden name beside `target` for a file on its way there: ".DATALOG_1.csv.1a2b3c".
constexpr size_t kTemporaryTail = 7;  // ".1a2b3c"
std::string temporaryName(const std::string& target, unsigned random) {
  const size_t slash = target.rfind('/');
  char tail[kTemporaryTail + 1];
  std::snprintf(tail, sizeof tail, ".%06x", random & 0xFFFFFFu);
  return target.substr(0, slash + 1) + "." + target.substr(slash + 1) + tail;
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

// Whether `entry` is name_n.ext for an n from 1 to `files`.
bool isLogFileName(const std::string& entry, const std::string& name, int64_t files,
                   const LogFormat& format) {
  const std::string head = name + std::string(kFileNumberJoin);
  const std::string& ext = format.extension;
  if (entry.size() <= head.size() + ext.size() || entry.compare(0, head.size(), head) != 0 ||
      entry.compare(entry.size() - ext.size(), ext.size(), ext) != 0)
    return false;
  int64_t n = 0;
  return validNumber(entry.data() + head.size(), entry.data() + entry.size() - ext.size(), files,
                     n);
}

// Whether the name `path` leads to the open file `fd` (the same device and inode).
bool nameLeadsTo(const std::string& path, int fd) {
  struct stat named {
  }, open{};
  return ::lstat(path.c_str(), &named) == 0 && ::fstat(fd, &open) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino;
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

void LogFileSink::waitUntilWritten() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.notify_one();
  drained_.wait(lock, [this] { return queue_.empty() && !writing_ && !syncWanted_; });
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

bool LogFileSink::lockRunNames(const std::string& first) {
  lockPath_ = plan_.directory + "/." + plan_.fileName + plan_.format.extension + ".lock";
  for (int attempt = 0; attempt < 8 && lockFd_ < 0; ++attempt) {
    const int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      const int error = errno;
      fail(SinkFailureKind::Refused, "cannot create " + lockPath_ + ": " + errorText(error),
           fileAccessText(first));
      return false;
    }
    // Only a lock file of this user's runs is ever written: another file linked at the lock's
    // name (ln OLD_1.csv .DATALOG.csv.lock) would be cut to the pid.
    struct stat own {};
    if (::fstat(fd, &own) != 0 || !S_ISREG(own.st_mode) || own.st_nlink != 1 ||
        own.st_uid != ::geteuid()) {
      ::close(fd);
      fail(SinkFailureKind::Refused,
           lockPath_ +
               " is not a lock file of this user's log runs (another file, or a link to "
               "one); it is left as it is",
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
    struct stat named {};
    if (::lstat(lockPath_.c_str(), &named) == 0 && own.st_ino == named.st_ino &&
        own.st_dev == named.st_dev) {
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
         error == ENOSPC ? diskFullText(plan_.directory) : fileAccessText(first));
    return false;
  }
  return true;
}

bool LogFileSink::checkNames(const std::string& first) {
  // The longest name of the run is that of its last file, as a partial or as the temporary file
  // of a copy: when that fits, every name does.
  const std::string last =
      LogFileName(plan_.fileName, std::max<int64_t>(plan_.files, 1), plan_.format);
  const size_t longest = std::max(partialName(last).size(), last.size() + 1 + kTemporaryTail);
  const long most = ::pathconf(plan_.directory.c_str(), _PC_NAME_MAX);
  if (most > 0 && longest > static_cast<size_t>(most)) {
    fail(SinkFailureKind::Refused,
         "the name " + partialName(last) + " is longer than the " + std::to_string(most) +
             " bytes a file's name may have in " + plan_.directory,
         fileAccessText(last));
    return false;
  }

  const auto taken = ExistingLogFiles(plan_.directory, plan_.fileName, plan_.files, plan_.format);
  for (const std::string& name : taken) {
    struct stat st {};
    const bool folder =
        ::lstat((plan_.directory + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (!folder && plan_.replaceExisting) continue;
    fail(SinkFailureKind::Refused,
         plan_.directory + "/" + name + (folder ? " is a folder" : " already exists"),
         "\r\nFILE EXISTS\r\n\r\nFile name = " + name +
             (folder ? "\r\n\r\nA folder of this name is in the way; it is kept.\r\n\r\n"
                       "Choose a different file name, or move the folder."
                     : "\r\n\r\nA file of this name is already in the folder; it is kept.\r\n\r\n"
                       "Choose a different file name, or agree to replace it."));
    return false;
  }
  (void)first;
  return true;
}

void LogFileSink::removeLeftovers() {
  // A run killed while publishing may have left the hidden temporary file of a copy or a link
  // (".DATALOG_1.csv.1a2b3c"); nothing else removes it. Only regular files of this user of that
  // exact form go, and only while this run holds the names' lock.
  DIR* dir = ::opendir(plan_.directory.c_str());
  if (dir == nullptr) return;
  const std::string head = "." + plan_.fileName + std::string(kFileNumberJoin);
  std::vector<std::string> leftovers;
  while (const dirent* e = ::readdir(dir)) {
    const std::string entry = e->d_name;
    if (entry.size() <= head.size() + kTemporaryTail || entry.compare(0, head.size(), head) != 0)
      continue;
    const std::string tail = entry.substr(entry.size() - kTemporaryTail);
    if (tail[0] != '.' || tail.find_first_not_of("0123456789abcdef", 1) != std::string::npos)
      continue;
    const std::string logName = entry.substr(1, entry.size() - 1 - kTemporaryTail);
    if (isLogFileName(logName, plan_.fileName, plan_.files, plan_.format))
      leftovers.push_back(entry);
  }
  ::closedir(dir);
  for (const std::string& entry : leftovers) {
    const std::string leftover = plan_.directory + "/" + entry;
    struct stat st {};
    if (::lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
      files_.remove(leftover);
  }
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
  if (!lockRunNames(first)) return false;

  struct statvfs room {};
  if (::statvfs(plan.directory.c_str(), &room) == 0 &&
      static_cast<unsigned long long>(room.f_bavail) * room.f_frsize < kLeastRoomBytes) {
    fail(SinkFailureKind::Refused, "no room left on the disk of " + plan.directory,
         diskFullText(plan.directory));
    return false;
  }
  if (!checkNames(first)) return false;
  removeLeftovers();
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
  struct stat created {};
  if (fd >= 0 && ::fstat(fd, &created) != 0) {
    const int error = errno;
    files_.close(fd);
    errno = error;
    fd = -1;
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
  device_ = created.st_dev;
  inode_ = created.st_ino;
  const std::string header = HeaderBlock(file.header, plan_.channels, plan_.format);
  partialHeaderBytes_ = header.size();
  block_.clear();
  block_.reserve(limits_.blockBytes + 4096);
  block_ = header;
  blockStartedAt_ = clock_.monotonicSeconds();
  checkedAt_ = syncAskedAt_ = blockStartedAt_;
  handOver();  // the header is on disk at once: a file killed before its first block reads
  return failure_.kind == SinkFailureKind::None;
}

void LogFileSink::handOver() {
  std::string next;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_ += block_.size();
    peakQueued_ = std::max(peakQueued_, queued_);
    queue_.push_back({std::move(block_), blockStartedAt_, std::chrono::steady_clock::now()});
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
    if (queued_ > limits_.queueBytes) {
      fail(SinkFailureKind::TooSlow,
           "the disk could not keep up: " + std::to_string(queued_) + " bytes waiting for " +
               partialPath_,
           tooSlowText());
    }
  }
  wake_.notify_one();
  block_ = std::move(next);
  block_.clear();
  if (block_.capacity() < limits_.blockBytes) block_.reserve(limits_.blockBytes + 4096);
  blockStartedAt_ = -1;
}

std::string LogFileSink::tooSlowText() const {
  return "\r\nDISK TOO SLOW\r\n\r\nFile name = " + name_ +
         "\r\n\r\nThe samples came faster than the disk could store them. The log run stopped "
         "after sample " +
         std::to_string(samples_) + "; the file holds the samples taken.";
}

bool LogFileSink::addSample(int64_t sampleNumber, const SampleValues& values) {
  if (failure_.kind != SinkFailureKind::None) return false;
  if (blockStartedAt_ < 0) blockStartedAt_ = clock_.monotonicSeconds();
  lines_.append(block_, sampleNumber, values, plan_.units);
  ++samples_;
  if (block_.size() >= limits_.blockBytes) handOver();
  return keepUp();
}

bool LogFileSink::idle() {
  if (failure_.kind != SinkFailureKind::None) return false;
  return keepUp();
}

bool LogFileSink::keepUp() {
  const double now = clock_.monotonicSeconds();
  if (!block_.empty() && now - blockStartedAt_ >= limits_.handOverSeconds) handOver();
  if (now - syncAskedAt_ >= limits_.syncSeconds) {
    // What was taken survives a power cut a second or so after it was taken.
    syncAskedAt_ = now;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      syncWanted_ = true;
    }
    wake_.notify_one();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (writeError_ != 0) {
      fail(SinkFailureKind::Write, "cannot write " + partialPath_ + ": " + errorText(writeError_),
           writeErrorText(name_, errorText(writeError_),
                          "The samples written so far are in " + partialName(name_) + ". "));
      return false;
    }
    const bool waiting = writingStartedAt_ >= 0 || !queue_.empty();
    const double oldest = writingStartedAt_ >= 0 ? writingStartedAt_
                          : waiting              ? queue_.front().startedAt
                                                 : 0;
    const auto handed = writingStartedAt_ >= 0 ? writingHandedAt_
                        : waiting              ? queue_.front().handedAt
                                               : std::chrono::steady_clock::time_point{};
    const auto realSeconds = [&] {
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - handed).count();
    };
    if (waiting && now - oldest >= limits_.stallSeconds &&
        realSeconds() >= std::min(limits_.stallSeconds, limits_.stallRealSeconds)) {
      fail(SinkFailureKind::TooSlow,
           "the disk stopped: a sample has waited " + std::to_string(now - oldest) +
               " s to be written to " + partialPath_,
           tooSlowText());
      return false;
    }
  }
  if (now - checkedAt_ >= limits_.checkSeconds) {
    checkedAt_ = now;
    if (!checkName()) return false;
  }
  return failure_.kind == SinkFailureKind::None;
}

bool LogFileSink::partialIsOurs() const {
  struct stat named {};
  return ::lstat(partialPath_.c_str(), &named) == 0 && named.st_dev == device_ &&
         named.st_ino == inode_;
}

bool LogFileSink::checkName() {
  if (partialIsOurs()) return true;
  const int error = errno;
  struct stat folder {};
  const bool folderGone = ::stat(plan_.directory.c_str(), &folder) != 0;
  const std::string what = folderGone ? "its folder " + plan_.directory + " was removed"
                                      : "another file took its name, or it was removed";
  fail(SinkFailureKind::Write, partialPath_ + " is no longer the run's file: " + what,
       writeErrorText(name_,
                      "the partial file " + partialName(name_) + " is gone: " + what +
                          (folderGone ? " (" + errorText(error) + ")" : ""),
                      ""));
  return false;
}

void LogFileSink::writerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || syncWanted_ || !queue_.empty(); });
    if (!queue_.empty()) {
      Block block = std::move(queue_.front());
      queue_.pop_front();
      writing_ = true;
      writingStartedAt_ = block.startedAt;
      writingHandedAt_ = block.handedAt;
      const int fd = fd_;
      const bool skip = writeError_ != 0;
      lock.unlock();
      const bool ok = skip || files_.writeAll(fd, block.bytes.data(), block.bytes.size());
      const int error = ok ? 0 : errno;
      lock.lock();
      writing_ = false;
      writingStartedAt_ = -1;
      queued_ -= block.bytes.size();
      if (!ok && writeError_ == 0) writeError_ = error;
      block.bytes.clear();
      if (spare_.size() < 4) spare_.push_back(std::move(block.bytes));
    } else if (syncWanted_) {
      // Only once what was handed over before the request is written.
      syncWanted_ = false;
      if (writeError_ == 0 && fd_ >= 0) {
        const int fd = fd_;
        writing_ = true;
        lock.unlock();
        const bool ok = files_.sync(fd) == 0 || SyncUnsupported(errno);
        const int error = errno;
        lock.lock();
        writing_ = false;
        if (!ok && writeError_ == 0) writeError_ = error;
      }
    }
    if (queue_.empty() && !writing_ && !syncWanted_) drained_.notify_all();
    if (stop_ && queue_.empty()) return;
  }
}

int LogFileSink::takeFileFromWriter() {
  std::unique_lock<std::mutex> lock(mutex_);
  syncWanted_ = false;  // publishing syncs the whole file
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
  if (error != 0) {
    files_.close(fd);
    // Worse news than a disk too slow, which only stopped the run: the file is not whole.
    failure_ = {SinkFailureKind::Write, "cannot write " + partialPath_ + ": " + errorText(error),
                writeErrorText(name_, errorText(error),
                               "The samples written so far are in " + partialName(name_) + ". ")};
    return false;
  }
  if (samples_ == 0) {
    // Not one sample (the sensor was lost before the first): a file of a header alone would
    // read as nothing, so none is made; the run's result says why.
    if (partialIsOurs()) files_.remove(partialPath_);
    files_.close(fd);
    path.clear();
    return true;
  }
  const bool published = publish(fd, header, path);
  files_.close(fd);  // after the sync, a failing close loses nothing
  return published;
}

bool LogFileSink::giveName(int fd, const std::string& named, const std::string& target) {
  // Where the file cannot be linked by its descriptor (no /proc), the name it was written under
  // is renamed instead, once it is checked to lead to this very file.
  const auto byName = [&](bool replace) {
    if (!nameLeadsTo(named, fd)) {
      errno = ESTALE;  // the name leads elsewhere now: this file has no name left to give
      return false;
    }
    return files_.rename(named, target, replace) == 0;
  };
  const auto linkRefused = [] { return errno == ENOSYS || errno == EPERM; };
  if (!plan_.replaceExisting) {
    if (files_.linkOpenFile(fd, target) == 0) return true;
    return linkRefused() ? byName(false) : false;
  }
  // Replacing: the file is linked under a hidden name, which is renamed over the name whole.
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temporary = temporaryName(target, random());
    if (files_.linkOpenFile(fd, temporary) != 0) {
      if (errno == EEXIST) continue;
      return linkRefused() ? byName(true) : false;
    }
    if (files_.rename(temporary, target, true) == 0) return true;
    const int error = errno;
    files_.remove(temporary);
    errno = error;
    return false;
  }
  errno = EEXIST;
  return false;
}

bool LogFileSink::publish(int fd, const LogHeader& header, std::string& path) {
  const std::string target = plan_.directory + "/" + name_;
  const std::string kept = "The samples taken are in " + partialName(name_) + ". ";
  const auto failed = [&](const std::string& what, int error) {
    // A partial that lost its name during the run is the cause already said.
    if (failure_.kind == SinkFailureKind::Write) return false;
    // Over a disk too slow, which only stopped the run, a file not published is the worse news.
    failure_ = {SinkFailureKind::Write, what + ": " + errorText(error),
                writeErrorText(name_, errorText(error), kept)};
    return false;
  };

  const std::string head = HeaderBlock(header, plan_.channels, plan_.format);
  int out = fd;
  std::string copy;
  // A file without any name left (another file was renamed over its partial) cannot be linked
  // again: it is copied, like a file whose header changed its length.
  struct stat own {};
  const bool named = ::fstat(fd, &own) == 0 && own.st_nlink > 0;
  if (head.size() == partialHeaderBytes_ && named) {
    // The usual case: the complete header takes the place of the partial's, byte for byte.
    if (!files_.writeAllAt(fd, head.data(), head.size(), 0))
      return failed("cannot write " + partialPath_, errno);
  } else {
    // The end's seconds, date or time are longer or shorter than the start's, so the data must
    // move: the file is copied once, from the descriptor it was written through.
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 16 && out == fd; ++attempt) {
      copy = temporaryName(target, random());
      const int created = files_.createNew(copy, 0666);
      if (created >= 0)
        out = created;
      else if (errno != EEXIST)
        break;
    }
    if (out == fd) return failed("cannot create " + copy, errno);
    const auto abandon = [&](const std::string& what) {
      const int error = errno;
      files_.close(out);
      files_.remove(copy);
      return failed(what, error);
    };
    if (!files_.writeAll(out, head.data(), head.size())) return abandon("cannot write " + copy);
    std::vector<char> piece(limits_.copyBytes);
    off_t at = static_cast<off_t>(partialHeaderBytes_);
    for (;;) {
      const ssize_t n = ::pread(fd, piece.data(), piece.size(), at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return abandon("cannot read " + partialPath_);
      if (n == 0) break;
      if (!files_.writeAll(out, piece.data(), static_cast<size_t>(n)))
        return abandon("cannot write " + copy);
      at += n;
    }
  }
  const auto letGo = [&] {
    if (out == fd) return;
    files_.close(out);
    files_.remove(copy);
  };
  if (files_.sync(out) != 0 && !SyncUnsupported(errno)) {
    const int error = errno;
    letGo();
    return failed("cannot sync " + (out == fd ? partialPath_ : copy), error);
  }
  if (!giveName(out, out == fd ? partialPath_ : copy, target)) {
    const int error = errno;
    letGo();
    if (error == EEXIST && !plan_.replaceExisting)
      return failed(target + " appeared during the run and is kept", error);
    return failed("cannot give " + partialPath_ + " its name " + target, error);
  }
  if (out != fd) {
    files_.close(out);
    files_.remove(copy);
  }
  if (files_.syncFolder(plan_.directory) != 0 && !SyncUnsupported(errno)) {
    // The name may not survive a power cut yet; the file itself is complete.
    return failed("cannot sync the folder " + plan_.directory, errno);
  }
  if (partialIsOurs()) files_.remove(partialPath_);
  path = target;
  return true;
}

}  // namespace vexa::datalog
