#include "platform/linux/stderr_diagnostics.h"

#include <iostream>

namespace vexa::linux_platform {

StderrDiagnostics::StderrDiagnostics() : out_(std::cerr) {}

void StderrDiagnostics::cause(const std::string& line) {
  last_ = line;
  out_ << "vexa: " << line << std::endl;
}

}  // namespace vexa::linux_platform
