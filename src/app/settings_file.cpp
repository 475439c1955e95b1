#include "app/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <istream>
#include <sstream>

#include "app/number_format.h"

namespace vexa {

namespace {

std::string settingsPath(AppContext& ctx) {
  return ctx.platform.paths->currentDirectory() + "/" + kSettingsFileName;
}

void reportCause(AppContext& ctx, const std::string& line) {
  if (ctx.platform.diagnostics != nullptr) ctx.platform.diagnostics->cause(line);
}

std::string withErrno(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// One text field: blanks in front skipped, ended by a comma or the end of the line. False at the
// end of the input, and for a field longer than kMaxSettingsFieldLength (a bad line).
bool nextField(std::istream& in, std::string& field) {
  field.clear();
  int c = in.peek();
  if (c == EOF) return false;
  while (c == ' ' || c == '\t') {
    in.get();
    c = in.peek();
  }
  while ((c = in.get()) != EOF) {
    if (c == ',') break;
    if (c == '\n') break;
    if (c == '\r') {
      if (in.peek() == '\n') in.get();
      break;
    }
    if (field.size() >= kMaxSettingsFieldLength) return false;
    field += static_cast<char>(c);
  }
  return true;
}

// The value text as a 16-bit integer: blanks around it ignored, a fraction rounded half to even.
bool toInt16(const std::string& text, int16_t& out) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  const std::string t = text.substr(b, e - b);
  if (t.empty()) return false;
  size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  size_t digits = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i])))
      ++digits;
    else if (t[i] == '.' && !point)
      point = true;
    else
      return false;
  }
  if (digits == 0) return false;
  const double v = RoundHalfEven(Val(t));
  if (!(v >= -32768 && v <= 32767)) return false;
  out = static_cast<int16_t>(v);
  return true;
}

std::string printForm(int16_t v) {
  return (v >= 0 ? " " : "") + std::to_string(v) + " ";
}

}  // namespace

void ReadSettingsFields(std::istream& in, Settings& s, std::string* problem) {
  std::string unknownKey;
  int lineNumber = 0;
  std::string badLine;
  // The first line that was not read is named; the lines after it are still read, so that the
  // next write keeps every value the file held.
  const auto note = [&](const std::string& why) {
    if (badLine.empty()) badLine = "line " + std::to_string(lineNumber) + " " + why;
  };
  // A byte-order mark in front of the first key is an editor's, not part of the key.
  static const char kBom[] = "\xEF\xBB\xBF";
  if (in.peek() == static_cast<unsigned char>(kBom[0])) {
    char head[3] = {};
    in.read(head, 3);
    if (in.gcount() != 3 || std::memcmp(head, kBom, 3) != 0) {
      in.clear();
      in.seekg(0);
    }
  }
  std::string line;
  for (;;) {
    ++lineNumber;
    if (!nextField(in, line)) {
      if (!in.eof())
        note("is longer than " + std::to_string(kMaxSettingsFieldLength) +
             " characters; the read ends there");
      break;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq < 1) {  // no "=", or no room for a key: a bad line
      note("is not \"Key = value\" and was not read");
      continue;
    }
    const size_t p = eq + 1;  // 1-based position of the "="
    const std::string key = line.substr(0, p - 2);
    const std::string valueText = p + 1 <= line.size() ? line.substr(p + 1) : std::string();
    // The rule takes one character off each side of "=": without the blanks a key loses its
    // last letter and a value its first digit.
    const bool blanks = line[eq - 1] == ' ' && (eq + 1 >= line.size() || line[eq + 1] == ' ');
    const std::string hint =
        blanks ? "" : " (write one blank each side of \"=\", such as \"Interface = 2\")";
    int16_t value = 0;
    if (!toInt16(valueText, value)) {
      note("has no 16-bit whole number after \"= \" and was not read" + hint);
      continue;
    }
    if (key != "Interface" && key != "Port Address" && key != "Factory" && key != "Device" &&
        unknownKey.empty())
      unknownKey = "line " + std::to_string(lineNumber) + " has the unknown key \"" + key +
                   "\" and is ignored" + hint;
    if (key == "Interface")
      s.Interface = value;
    else if (key == "Port Address")
      s.PortAddress = value;
    else if (key == "Factory")
      s.Factory = value;
    else if (key == "Device")
      s.Device = value;
  }
  if (problem != nullptr) *problem = badLine.empty() ? unknownKey : badLine;
}

std::string SettingsFileText(const Settings& s) {
  return "Interface = " + printForm(s.Interface) + "\r\n" +
         "Port Address = " + printForm(s.PortAddress) + "\r\n" +
         "Factory = " + printForm(s.Factory) + "\r\n" + "Device = " + printForm(s.Device) + "\r\n";
}

bool ReadSettingsText(const std::string& path, std::string& text, std::string& cause) {
  text.clear();
  // Non-blocking, so that a FIFO in the file's place cannot hold up the start.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;  // no file: the settings keep their start values
    cause = withErrno("cannot read " + path, errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) {
    cause = withErrno("cannot read " + path, errno);
  } else if (!S_ISREG(st.st_mode)) {
    cause = path + " is not a regular file; its settings are not read";
    ok = false;
  } else if (st.st_size > static_cast<off_t>(kMaxSettingsFileBytes)) {
    cause = path + " is larger than " + std::to_string(kMaxSettingsFileBytes / 1024) +
            " KiB; its settings are not read";
    ok = false;
  }
  char buffer[4096];
  while (ok && text.size() < kMaxSettingsFileBytes) {
    const size_t room = std::min(sizeof buffer, kMaxSettingsFileBytes - text.size());
    const ssize_t n = ::read(fd, buffer, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      cause = withErrno("cannot read " + path, errno);
      ok = false;
    }
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (!ok) text.clear();
  return ok;
}

void ReadSettings(AppContext& ctx) {
  std::string text, cause;
  if (!ReadSettingsText(settingsPath(ctx), text, cause)) {
    reportCause(ctx, cause);
    return;
  }
  std::istringstream in(text);
  std::string problem;
  ReadSettingsFields(in, ctx.settings, &problem);
  if (!problem.empty()) reportCause(ctx, settingsPath(ctx) + " " + problem);
}

bool WriteSettings(AppContext& ctx) {
  const std::string path = settingsPath(ctx);
  // The new text replaces the old file only once it is complete and on the disk: a full disk or
  // a failing write leaves the old settings as they were.
  FileOps& files = ctx.platform.files != nullptr ? *ctx.platform.files : SystemFileOps();
  std::string cause;
  if (ReplaceFileWhole(files, path, SettingsFileText(ctx.settings), 0644, cause)) return true;
  reportCause(ctx, cause + "; the old settings are kept");
  return false;
}

}  // namespace vexa
