#include "ui/analysis/density_plot.h"

#include <algorithm>

#include "report/noise_plots.h"

namespace vexa::ui {

DensityPlot::DensityPlot(QWidget* parent) : NoisePanels("frequency, Hz", "f", "Hz", parent) {
  setObjectName("picDensityPlot");
  emptyText_ = "Compute the Allan deviation: the noise density comes with it.";
}

void DensityPlot::setChannels(const std::vector<analysis::ChannelNoise>* channels,
                              const std::vector<QColor>& colors,
                              const std::vector<QString>& names) {
  channels_ = channels ? channels->size() : 0;
  std::vector<NoisePanel> panels;
  for (size_t i = 0; i < channels_; ++i) {
    const analysis::ChannelNoise& n = (*channels)[i];
    // The table's unit: the analysis states each kind's density in its customary unit, and
    // the density is proportional to the factor it applies.
    const analysis::NoiseFigure unit = analysis::CustomaryDensity(1.0, n.kind, n.units);
    const double scale = unit.value;
    const QString unitText = QString::fromStdString(unit.unit);
    auto panel = std::find_if(panels.begin(), panels.end(),
                              [&](const NoisePanel& p) { return p.unit == unitText; });
    if (panel == panels.end()) {
      panels.push_back({unitText, "noise density, " + unitText, {}});
      panel = panels.end() - 1;
    }
    PanelSeries s;
    s.name = i < names.size() ? names[i] : QString::fromStdString(n.title);
    s.color = i < colors.size() ? colors[i] : report::ChannelColor(i);
    for (size_t k = 0; k < n.density.frequency.size() && k < n.density.density.size(); ++k)
      if (n.density.frequency[k] > 0 && n.density.density[k] > 0)
        s.points.emplace_back(n.density.frequency[k], n.density.density[k] * scale);
    if (n.density.whiteFound && !s.points.empty()) {
      const double white = n.density.white * scale;
      s.model = {{s.points.front().x(), white}, {s.points.back().x(), white}};
      s.terms.push_back(
          {"N white level", {{n.density.flatFrom, white}, {n.density.flatTo, white}}});
    }
    panel->series.push_back(std::move(s));
  }
  setPanels(std::move(panels));
}

}  // namespace vexa::ui
