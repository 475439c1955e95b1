#pragma once

// A channel's two names: the column title its log files carry ("X Gryo", as they have always
// spelled it) and the caption of its box in the datalog window ("X Gyro"). Figures are found
// by either.

#include <string>

namespace vexa::results {

// "X Gryo" -> "X Gyro"; empty when the title is none of the logged outputs'.
std::string CaptionOfTitle(const std::string& title);
// "X Gyro" -> "X Gryo"; empty when the caption is none of the logged outputs'.
std::string TitleOfCaption(const std::string& caption);

}  // namespace vexa::results
