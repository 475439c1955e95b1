#pragma once

#include <string>

namespace vexa {

// Writes a file a user keeps: the text goes to a temporary file beside `path`, is synced, and
// only then takes the name, so a full disk or a crash never leaves half a file. Without
// `overwrite` an existing file (or link) at `path` is left alone and the write fails; with it,
// the name is replaced, never written through. False with `error` set on failure.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite,
                         std::string& error);

}  // namespace vexa
