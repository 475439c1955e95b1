#pragma once

#include <iosfwd>
#include <string>

#include "platform/diagnostics.h"

namespace vexa::linux_platform {

// Technical causes of failures, one line each, to a stream (standard error by default).
class StderrDiagnostics : public Diagnostics {
 public:
  StderrDiagnostics();
  explicit StderrDiagnostics(std::ostream& out) : out_(out) {}
  void cause(const std::string& line) override;
  std::string lastCause() const override { return last_; }

 private:
  std::ostream& out_;
  std::string last_;
};

}  // namespace vexa::linux_platform
