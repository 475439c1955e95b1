#include "datalog/log_run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "app/delay.h"
#include "registers/register_access.h"

namespace vexa::datalog {

namespace {

std::string causeOf(int error) {
  return std::strerror(error);
}

// One log file, open from before its first sample until its text has been written.
class LogFile {
 public:
  explicit LogFile(std::string path) : path_(std::move(path)) {}
  ~LogFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  bool open() {
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) cause_ = causeOf(errno);
    return file_ != nullptr;
  }
  bool write(const std::string& text) {
    return check(std::fwrite(text.data(), 1, text.size(), file_) == text.size());
  }
  bool write(const LineBuffer& lines) { return check(lines.writeTo(file_)); }
  // Flushes to the device and closes; a full disk shows up here at the latest.
  bool close() {
    bool ok = check(std::fflush(file_) == 0);
    if (ok && ::fsync(fileno(file_)) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP)
      ok = check(false);
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0 && ok) ok = check(false);
    return ok;
  }
  const std::string& cause() const { return cause_; }

 private:
  bool check(bool ok) {
    if (!ok && cause_.empty()) cause_ = causeOf(errno);
    return ok;
  }
  std::string path_;
  std::FILE* file_ = nullptr;
  std::string cause_;
};

std::string fileWriteErrorText(const std::string& fileName, const std::string& cause) {
  return "\r\nFILE WRITE ERROR\r\n\r\nFile name = " + fileName +
         "\r\n\r\nThe file could not be written: " + cause +
         ".\r\n\r\nThe log run has stopped. Files finished before this one are complete.";
}

std::string outOfMemoryText(const std::string& fileName, int64_t samples) {
  return "\r\nOUT OF MEMORY\r\n\r\nFile name = " + fileName +
         "\r\n\r\nThe samples of this file no longer fit in memory. The log run stopped after "
         "sample " +
         std::to_string(samples) + ", and the file holds the samples taken.";
}

ChannelList normalised(ChannelList channels) {
  channels.erase(std::remove_if(channels.begin(), channels.end(),
                                [](int16_t i) { return ChannelOfRegister(i) == nullptr; }),
                 channels.end());
  std::sort(channels.begin(), channels.end());
  channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
  return channels;
}

std::string clockText(int64_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace

void ReadSampleByRegister(AppContext& ctx, const ChannelList& channels, SampleValues& values) {
  values.resize(channels.size());
  const AccessState& a = ctx.access;
  for (size_t i = 0; i < channels.size(); ++i) {
    ReadRegister(ctx, channels[i]);
    values[i] = {a.LastNewData, a.LastRaw, a.LastScaled};
  }
}

void WaitSampleDelay(AppContext& ctx, float delayMs) {
  DelayMs(ctx, delayMs);
}

std::string ProgressText(const LogProgress& p) {
  std::string text = "Sample " + std::to_string(p.sample) + " of " +
                     std::to_string(static_cast<int64_t>(p.samplesPerFile)) + "   File " +
                     std::to_string(p.file) + " of " +
                     std::to_string(static_cast<int64_t>(p.files));
  if (p.samplesPerSecond > 0) {
    char rate[32];
    std::snprintf(rate, sizeof rate, p.samplesPerSecond < 100 ? "%.1f" : "%.0f",
                  p.samplesPerSecond);
    text += std::string("   ") + rate + " samples/s";
  }
  if (p.secondsLeft >= 0) text += "   " + clockText(std::llround(p.secondsLeft)) + " left";
  return text;
}

bool NameStaysInFolder(const std::string& name) {
  return name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string FileAccessErrorText(const std::string& fileName) {
  return "\r\nFILE ACCESS ERROR\r\n\r\nFile name = " + fileName +
         "\r\n\r\nThis file may already be open by another application.\r\n\r\nClose the file "
         "or choose a different file name.";
}

bool IsSystemFolder(const std::string& folder) {
  for (const char* root : {"/usr", "/bin", "/sbin", "/lib", "/lib64", "/opt", "/etc", "/snap"}) {
    const size_t n = std::strlen(root);
    if (folder.compare(0, n, root) == 0 && (folder.size() == n || folder[n] == '/')) return true;
  }
  return false;
}

std::string LogDirectory(AppContext& ctx) {
  const std::string own = ctx.platform.paths->applicationDirectory();
  // An installed program's folder is no place for data, even for root, who may write there.
  if (!own.empty() && !IsSystemFolder(own) && ::access(own.c_str(), W_OK | X_OK) == 0) return own;
  return ctx.platform.paths->currentDirectory();
}

LogRun::LogRun(AppContext& ctx, LogSettings settings, LogHost& host)
    : ctx_(ctx), settings_(std::move(settings)), host_(host) {}

LogResult LogRun::run() {
  const LogFormat format = LogFormat::forLocale(settings_.locale);
  const ChannelList channels = normalised(settings_.channels);
  const double S = settings_.samplesPerFile;
  const double F = settings_.filesPerSession;
  const float delayMs = settings_.sampleDelayMs;
  Clock& clock = ctx_.clock();
  Diagnostics* diagnostics = ctx_.platform.diagnostics;
  const auto fail = [&](const std::string& cause, const std::string& text) {
    if (diagnostics != nullptr && !cause.empty()) diagnostics->cause(cause);
    ctx_.messages().show(kApplicationTitle, text, MessageIcon::Warning);
  };

  LogResult result;
  LineBuffer buffer(bufferLimit_);
  SampleValues values(channels.size());
  SampleLineWriter writer(format);
  std::string line;
  line.reserve(32 + channels.size() * 24);

  LogProgress progress;
  progress.samplesPerFile = std::floor(S);
  progress.files = std::floor(F);
  const double total = progress.samplesPerFile * progress.files;
  double runStart = -1;

  bool last = false;
  for (int64_t n = 1; n <= F && !last; ++n) {
    const std::string name = LogFileName(settings_.fileName, n, format);
    const std::string path = settings_.directory + "/" + name;
    LogFile file(path);
    if (!NameStaysInFolder(settings_.fileName)) {
      fail("the file name '" + settings_.fileName + "' would put the log files outside " +
               settings_.directory,
           FileAccessErrorText(name));
      result.outcome = LogOutcome::OpenFailed;
      break;
    }
    if (!file.open()) {
      fail("cannot create " + path + ": " + file.cause(), FileAccessErrorText(name));
      result.outcome = LogOutcome::OpenFailed;
      break;
    }
    host_.fileStarted(n);
    ctx_.ui().processEvents();
    const float begin = clock.secondsSinceMidnight();
    if (runStart < 0) runStart = clock.monotonicSeconds();
    buffer.clear();

    int64_t taken = 0;
    bool outOfMemory = false;
    for (int64_t s = 1; s <= S; ++s) {
      try {
        line.clear();
        reader_(ctx_, channels, values);
        writer.append(line, s, values, settings_.units);
        buffer.append(line);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
        last = true;
        break;
      }
      taken = s;
      ++result.samplesTaken;
      wait_(ctx_, delayMs);

      progress.sample = s;
      progress.file = n;
      const double elapsed = clock.monotonicSeconds() - runStart;
      if (elapsed > 0) {
        progress.samplesPerSecond = static_cast<double>(result.samplesTaken) / elapsed;
        progress.secondsLeft = std::max(0.0, total - static_cast<double>(result.samplesTaken)) /
                               progress.samplesPerSecond;
      }
      progress.fraction = total > 0 ? static_cast<double>(result.samplesTaken) / total : 1;
      host_.progress(progress);  // before the events pass, which repaints it

      ctx_.ui().processEvents();
      if (host_.cancelRequested()) {
        result.outcome = LogOutcome::Cancelled;
        last = true;
        break;
      }
    }

    LogHeader header;
    header.fileName = name;
    header.beginSeconds = begin;
    header.endSeconds = clock.secondsSinceMidnight();
    header.date = clock.shortDate();
    header.time = clock.shortTime();
    bufferMemory_ = buffer.memoryBytes();
    bufferText_ = buffer.textBytes();
    if (!file.write(HeaderBlock(header, channels, format)) || !file.write(buffer) ||
        !file.close()) {
      fail("cannot write " + path + ": " + file.cause(), fileWriteErrorText(name, file.cause()));
      result.outcome = LogOutcome::WriteFailed;
      break;
    }
    result.filesWritten.push_back(path);
    host_.fileWritten(path);
    if (outOfMemory) {
      fail("no memory for sample " + std::to_string(taken + 1) + " of " + path,
           outOfMemoryText(name, taken));
      result.outcome = LogOutcome::OutOfMemory;
    }
  }
  return result;
}

}  // namespace vexa::datalog
