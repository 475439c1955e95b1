#include "datalog/log_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include "app/app_context.h"
#include "datalog/log_run.h"

namespace vexa::datalog {

namespace {

bool WritableFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string ChosenLogDirectory(AppContext& ctx) {
  const std::string chosen = ctx.preferences.text(kLogFolderKey);
  // A folder removed or made read-only since it was chosen: the run would fail at its first
  // file, so the default comes back instead.
  return WritableFolder(chosen) ? chosen : LogDirectory(ctx);
}

void RememberLogDirectory(AppContext& ctx, const std::string& folder) {
  ctx.preferences.setText(kLogFolderKey, folder);
}

}  // namespace vexa::datalog
