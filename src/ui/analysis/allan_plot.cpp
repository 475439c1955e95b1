#include "ui/analysis/allan_plot.h"

#include <algorithm>
#include <cmath>

namespace vexa::ui {

namespace {
constexpr int kModelSteps = 120;
}

QString NoiseTermLabel(int term) {
  static const char* const kNames[analysis::kNoiseTerms] = {
      "quantisation", "random walk", "bias instability", "rate random walk", "rate ramp"};
  return QString("%1 %2").arg(analysis::kNoiseTermNames[size_t(term)], kNames[term]);
}

AllanPlot::AllanPlot(QWidget* parent) : NoisePanels("cluster time tau, s", "tau", "s", parent) {
  setObjectName("picAllanPlot");
  emptyText_ = "Compute the Allan deviation of the ticked channels.";
}

void AllanPlot::setCurves(std::vector<AllanCurve> curves) {
  curves_ = std::move(curves);
  std::vector<NoisePanel> panels;
  for (const AllanCurve& c : curves_) {
    auto panel = std::find_if(panels.begin(), panels.end(),
                              [&](const NoisePanel& p) { return p.unit == c.units; });
    if (panel == panels.end()) {
      panels.push_back({c.units, "Allan deviation, " + c.units, {}});
      panel = panels.end() - 1;
    }
    PanelSeries s;
    s.name = c.name;
    s.color = c.color;
    for (const auto& pt : c.points) {
      if (!(pt.adev > 0)) continue;
      s.points.emplace_back(pt.tau, pt.adev);
      s.bars.emplace_back(pt.low, pt.high);
    }
    if (c.model.ok && !s.points.empty()) {
      // Over the measured taus and a little beyond, evenly in log tau.
      const double from = s.points.front().x() / 2, to = s.points.back().x() * 2;
      const auto line = [&](auto f) {
        std::vector<QPointF> points;
        for (int i = 0; i <= kModelSteps; ++i) {
          const double t = from * std::pow(to / from, double(i) / kModelSteps);
          const double v = f(t);
          if (v > 0 && std::isfinite(v)) points.emplace_back(t, v);
        }
        return points;
      };
      s.model = line([&](double t) { return c.model.deviation(t); });
      for (int j = 0; j < analysis::kNoiseTerms; ++j)
        if (c.model.terms[size_t(j)].resolved)
          s.terms.push_back(
              {NoiseTermLabel(j), line([&](double t) { return c.model.termDeviation(j, t); })});
    }
    panel->series.push_back(std::move(s));
  }
  setPanels(std::move(panels));
}

}  // namespace vexa::ui
