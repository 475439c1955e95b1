#pragma once

#include <string>

namespace vexa {
struct AppContext;
}

namespace vexa::datalog {

// The key of the folder the user chose for log files, in the program's own settings file.
constexpr const char* kLogFolderKey = "datalog.directory";

// Where log files go and where the log viewer's dialogs start: the folder the user chose, while
// it is still a folder the program can write into, else LogDirectory.
std::string ChosenLogDirectory(AppContext& ctx);
// Remembers the user's choice for this and later sessions.
void RememberLogDirectory(AppContext& ctx, const std::string& folder);

}  // namespace vexa::datalog
