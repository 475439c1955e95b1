#include "ui/datalog/closed_run_text.h"

#include <filesystem>

namespace vexa::ui {

std::string ClosedRunText(const datalog::LogResult& result, double samplesPerFile) {
  std::string text = "The log run was cancelled: its window was closed while it ran.";
  const auto& files = result.filesWritten;
  if (files.empty()) return text + "\n\nNo file was written.";
  const int64_t perFile = int64_t(samplesPerFile);
  const auto samples = [](int64_t n) {
    return std::to_string(n) + (n == 1 ? " sample" : " samples");
  };
  text += "\n\n";
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = std::filesystem::path(files[i]).filename().string();
    if (i + 1 < files.size()) {
      text += name + " holds all its " + samples(perFile) + ".\n";
      continue;
    }
    const int64_t last = result.samplesTaken - perFile * int64_t(files.size() - 1);
    text += name + " holds the " + samples(last) + " taken before the cancel, of " +
            std::to_string(perFile) + ".\n";
  }
  return text + "\nThe files are in " +
         std::filesystem::path(files.front()).parent_path().string() + ".";
}

}  // namespace vexa::ui
