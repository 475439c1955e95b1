#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "platform/ui_hooks.h"

namespace vexa::sim {

// Message boxes that are noted instead of shown.
class RecordingMessageService : public MessageService {
 public:
  struct Message {
    std::string title;
    std::string text;
    MessageIcon icon;
  };
  void show(const std::string& title, const std::string& text, MessageIcon icon) override {
    shown.push_back({title, text, icon});
  }
  // Noted apart from the messages; answered with `answer`.
  bool ask(const std::string& /*title*/, const std::string& text) override {
    asked.push_back(text);
    return answer;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& m : shown) out.push_back(m.text);
    return out;
  }
  std::vector<Message> shown;
  std::vector<std::string> asked;
  bool answer = false;
};

// Counts what core code asked of the window system; an optional callback stands for the events
// that a person would cause while the loop yields.
class RecordingUiHooks : public UiHooks {
 public:
  void processEvents() override {
    ++eventPasses;
    if (onProcessEvents) onProcessEvents();
  }
  void setWaitCursor(bool busy) override { waitCursorChanges.push_back(busy); }
  int eventPasses = 0;
  std::vector<bool> waitCursorChanges;
  std::function<void()> onProcessEvents;
};

class FixedPaths : public Paths {
 public:
  FixedPaths(std::string current, std::string application)
      : current_(std::move(current)), application_(std::move(application)) {}
  std::string currentDirectory() override { return current_; }
  std::string applicationDirectory() override { return application_; }

 private:
  std::string current_, application_;
};

class FixedSystemInfo : public SystemInfo {
 public:
  explicit FixedSystemInfo(OsVersion v = {}) : version(v) {}
  OsVersion query() override { return version; }
  OsVersion version;
};

class RecordingDiagnostics : public Diagnostics {
 public:
  void cause(const std::string& line) override { causes.push_back(line); }
  std::string lastCause() const override { return causes.empty() ? std::string() : causes.back(); }
  std::vector<std::string> causes;
};

}  // namespace vexa::sim
