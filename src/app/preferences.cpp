#include "app/preferences.h"

namespace vexa {

namespace {

void report(AppContext& ctx, const std::string& error) {
  if (ctx.platform.diagnostics != nullptr) ctx.platform.diagnostics->cause(error);
}

std::string folderOf(AppContext& ctx) {
  return ctx.platform.paths != nullptr ? ctx.platform.paths->currentDirectory() : ".";
}

}  // namespace

void ReadPreferences(AppContext& ctx) {
  std::string error;
  if (!ctx.preferences.load(folderOf(ctx), error)) report(ctx, error);
}

void WritePreferences(AppContext& ctx) {
  std::string error;
  FileOps& files = ctx.platform.files != nullptr ? *ctx.platform.files : SystemFileOps();
  if (!ctx.preferences.save(folderOf(ctx), error, files)) report(ctx, error);
}

}  // namespace vexa
