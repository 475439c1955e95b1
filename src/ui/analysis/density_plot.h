#pragma once

#include <vector>

#include "analysis/noise_characterisation.h"
#include "ui/analysis/noise_panels.h"

namespace vexa::ui {

// The noise density of the analysed channels on log-log axes, one panel per unit, in the units
// the figures table states (mg/sqrt(Hz) for accelerometers): the Welch bands as markers, the
// density of the noise model fitted to the Allan variance as the line, each resolved term of it
// dashed and labelled.
class DensityPlot : public NoisePanels {
  Q_OBJECT
 public:
  explicit DensityPlot(QWidget* parent = nullptr);
  // The colours are the channels' own, by position; the channels are copied.
  void setChannels(const std::vector<analysis::ChannelNoise>* channels,
                   const std::vector<QColor>& colors = {}, const std::vector<QString>& names = {});
  size_t channelCount() const { return channels_; }

 private:
  size_t channels_ = 0;
};

}  // namespace vexa::ui
