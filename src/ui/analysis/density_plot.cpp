#include "ui/analysis/density_plot.h"

#include <QPainter>

#include "report/noise_plots.h"

namespace vexa::ui {

DensityPlot::DensityPlot(QWidget* parent) : QWidget(parent) {
  setObjectName("picDensityPlot");
  setMinimumSize(400, 300);
}

void DensityPlot::setChannels(const std::vector<analysis::ChannelNoise>* channels) {
  channels_ = channels;
  update();
}

void DensityPlot::render(QPainter& painter, const QRect& area) const {
  std::vector<report::PlottedNoise> plotted;
  if (channels_)
    for (size_t i = 0; i < channels_->size(); ++i)
      plotted.push_back({&(*channels_)[i], report::ChannelColor(i)});
  report::DrawNoiseDensity(painter, area, plotted);
}

void DensityPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  render(painter, rect());
}

}  // namespace vexa::ui
