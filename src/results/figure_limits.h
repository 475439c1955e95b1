#pragma once

// A limits file: the datasheet's limit of each figure, one per line as "CHANNEL/TERM = VALUE"
// ("X Gyro/B = 12"); blank lines and lines starting with # are left out.

#include <map>
#include <string>

namespace vexa::results {

using FigureLimits = std::map<std::string, double>;

// False with "FILE:LINE: what is wrong"; a file is never read in part.
bool ReadFigureLimits(const std::string& path, FigureLimits& limits, std::string& error);
bool ParseFigureLimits(const std::string& text, FigureLimits& limits, std::string& error);

}  // namespace vexa::results
