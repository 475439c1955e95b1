#pragma once

#include <map>
#include <string>

#include "platform/file_ops.h"

namespace vexa {

class Paths;

// The program's own settings beyond the four of CommPort.cfg (adapter choices, read options),
// kept as "key = value" lines in a file of their own beside it, so CommPort.cfg keeps its form.
class ProgramSettings {
 public:
  static constexpr const char* kFileName = "VexaEval.cfg";

  // Reads the file in `folder`. A missing file leaves no values and is no error; anything else
  // that stops the read (not a regular file, too large, unreadable) is described in `error`.
  bool load(const std::string& folder, std::string& error);
  // Writes every value through a temporary file, synced and renamed over the old one, with
  // `files`; the old file stays when anything fails. Does nothing when no value changed since
  // the load.
  bool save(const std::string& folder, std::string& error, FileOps& files = SystemFileOps());

  std::string text(const std::string& key, const std::string& fallback = {}) const;
  long number(const std::string& key, long fallback) const;
  bool flag(const std::string& key, bool fallback) const;

  void setText(const std::string& key, const std::string& value);
  void setNumber(const std::string& key, long value);
  void setFlag(const std::string& key, bool value);

  bool changed() const { return changed_; }

 private:
  std::map<std::string, std::string> values_;
  bool changed_ = false;
};

}  // namespace vexa
