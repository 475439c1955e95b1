#pragma once

// The facts a record keeps about a file it names, and the check made when the file is opened
// again: the path made absolute (a relative one means nothing from another folder), the size
// and the SHA-256 of the content.

#include <string>

#include "results/result_records.h"

namespace vexa::results {

// Measures the file at `path` (relative paths against the working folder). A file that cannot
// be read keeps its absolute path, with bytes -1 and no checksum.
RunFile MeasureFile(const std::string& path);

enum class FileState { Unchanged, Changed, Gone, Unknown };

// Compares the file now with what the record says; Unknown when the record kept no checksum.
FileState CheckFile(const RunFile& recorded);

// One line for the user about a file that is not as recorded; empty when it is.
std::string FileStateText(const RunFile& recorded, FileState state);

}  // namespace vexa::results
