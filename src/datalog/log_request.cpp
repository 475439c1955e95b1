#include "datalog/log_request.h"

#include <algorithm>

#include "datalog/log_folder.h"

namespace vexa::datalog {

LogSettings BuildLogSettings(AppContext& ctx, const LogRequest& r) {
  LogSettings s;
  s.samplesPerFile = r.samplesPerFile;
  s.filesPerSession = r.files;
  s.sampleDelayMs = static_cast<float>(r.sampleDelayMs);
  s.fileName = r.name;
  s.units = r.units;
  // The files' columns follow the register table whatever the order asked for.
  s.channels = r.channels;
  std::sort(s.channels.begin(), s.channels.end());
  s.channels.erase(std::unique(s.channels.begin(), s.channels.end()), s.channels.end());
  s.directory = r.directory ? *r.directory : ChosenLogDirectory(ctx);
  s.locale = QLocale();
  s.replaceExisting = r.replaceExisting;
  return s;
}

}  // namespace vexa::datalog
