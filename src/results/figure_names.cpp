#include "results/figure_names.h"

#include "datalog/log_file_format.h"

namespace vexa::results {

std::string CaptionOfTitle(const std::string& title) {
  for (const auto& channel : datalog::kLogChannels)
    if (title == channel.valueTitle) return channel.caption;
  return {};
}

std::string TitleOfCaption(const std::string& caption) {
  for (const auto& channel : datalog::kLogChannels)
    if (caption == channel.caption) return channel.valueTitle;
  return {};
}

}  // namespace vexa::results
