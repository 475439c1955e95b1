#pragma once

#include <QColor>
#include <QString>
#include <vector>

#include "analysis/allan_deviation.h"
#include "analysis/noise_model.h"
#include "ui/analysis/noise_panels.h"

namespace vexa::ui {

struct AllanCurve {
  QString name;  // the channel's caption
  QString units;
  QColor color;
  std::vector<analysis::AllanPoint> points;
  analysis::AllanReadOffs readOffs;  // the quick read-offs (the table's), not drawn
  analysis::NoiseModel model;        // drawn over the points, with each resolved term
};

// Allan deviations on log-log axes, one panel per unit (gyros apart from accelerometers): the
// points as markers with their confidence bars, the fitted noise model as a line and each
// resolved term of it dashed and labelled.
class AllanPlot : public NoisePanels {
  Q_OBJECT
 public:
  explicit AllanPlot(QWidget* parent = nullptr);
  void setCurves(std::vector<AllanCurve> curves);
  const std::vector<AllanCurve>& curves() const { return curves_; }

 private:
  std::vector<AllanCurve> curves_;
};

// "N random walk", "B bias instability", ...: a term as the plots label it.
QString NoiseTermLabel(int term);

}  // namespace vexa::ui
