#pragma once

#include <QWidget>
#include <vector>

#include "analysis/noise_characterisation.h"

namespace vexa::ui {

// The noise density of the analysed channels on log-log axes (the report's drawing).
class DensityPlot : public QWidget {
  Q_OBJECT
 public:
  explicit DensityPlot(QWidget* parent = nullptr);
  // The channels must outlive the plot's use of them (the viewer owns them).
  void setChannels(const std::vector<analysis::ChannelNoise>* channels);
  size_t channelCount() const { return channels_ ? channels_->size() : 0; }
  void render(QPainter& painter, const QRect& area) const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const std::vector<analysis::ChannelNoise>* channels_ = nullptr;
};

}  // namespace vexa::ui
