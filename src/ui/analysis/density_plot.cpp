#include "ui/analysis/density_plot.h"

#include <algorithm>
#include <cmath>

#include "report/noise_plots.h"
#include "ui/analysis/allan_plot.h"

namespace vexa::ui {

namespace {
constexpr int kModelSteps = 120;
}

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
    if (n.model.ok && n.rateHz > 0 && s.points.size() > 1) {
      // The fitted model's density: each term's Allan deviation shape gives its coefficient,
      // and the standard relations its density (white N, flicker B / sqrt(2 pi f), rate random
      // walk K / (2 pi f), quantisation 2 pi f Q sqrt(tau0)); the ramp has no density.
      const double n1 = n.model.termDeviation(analysis::kTermN, 1.0);
      const double b =
          n.model.termDeviation(analysis::kTermB, 1.0) / analysis::kBiasInstabilityFactor;
      const double k = n.model.termDeviation(analysis::kTermK, 1.0) * std::sqrt(3.0);
      const double q = n.model.termDeviation(analysis::kTermQ, 1.0) / std::sqrt(3.0);
      const double tau0 = 1.0 / n.rateHz;
      const auto density = [&](int term, double f) {
        const double w = 2 * M_PI * f;
        switch (term) {
          case analysis::kTermQ:
            return q * w * std::sqrt(tau0);
          case analysis::kTermN:
            return n1;
          case analysis::kTermB:
            return b / std::sqrt(w);
          case analysis::kTermK:
            return k / w;
          default:
            return 0.0;
        }
      };
      const double from = s.points.front().x(), to = s.points.back().x();
      const auto line = [&](auto value) {
        std::vector<QPointF> points;
        for (int i = 0; i <= kModelSteps; ++i) {
          const double f = from * std::pow(to / from, double(i) / kModelSteps);
          const double v = value(f) * scale;
          if (v > 0 && std::isfinite(v)) points.emplace_back(f, v);
        }
        return points;
      };
      static constexpr int kTerms[] = {analysis::kTermQ, analysis::kTermN, analysis::kTermB,
                                       analysis::kTermK};
      s.model = line([&](double f) {
        double sum = 0;
        for (int t : kTerms) sum += density(t, f) * density(t, f);
        return std::sqrt(sum);
      });
      for (int t : kTerms)
        if (n.model.terms[size_t(t)].resolved)
          s.terms.push_back({NoiseTermLabel(t), line([&](double f) { return density(t, f); })});
    }
    panel->series.push_back(std::move(s));
  }
  setPanels(std::move(panels));
}

}  // namespace vexa::ui
