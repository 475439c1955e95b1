#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

#include "analysis/allan_deviation.h"
#include "analysis/noise_model.h"

class QPainter;

namespace vexa::ui {

struct AllanCurve {
  QString name;
  QString units;
  QColor color;
  std::vector<analysis::AllanPoint> points;
  analysis::AllanReadOffs readOffs;
  analysis::NoiseModel model;  // drawn over the points (with each resolved term) when fitted
};

// Allan deviations on log-log axes: points with their confidence bars, and either the fitted
// noise model with each resolved term's line or, without a model, the -1/2 line through the
// random walk read-off and the flat line at the bias instability floor (0.664 B).
class AllanPlot : public QWidget {
  Q_OBJECT
 public:
  explicit AllanPlot(QWidget* parent = nullptr);
  void setCurves(std::vector<AllanCurve> curves);
  const std::vector<AllanCurve>& curves() const { return curves_; }
  void render(QPainter& painter, const QRect& area) const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::vector<AllanCurve> curves_;
};

}  // namespace vexa::ui
