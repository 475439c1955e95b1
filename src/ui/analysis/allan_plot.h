#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

#include "analysis/allan_deviation.h"

class QPainter;

namespace vexa::ui {

struct AllanCurve {
  QString name;
  QString units;
  QColor color;
  std::vector<analysis::AllanPoint> points;
  analysis::AllanReadOffs readOffs;
};

// Allan deviations on log-log axes: points with their confidence bars, the -1/2 line through
// the random walk read-off and the flat line at the bias instability floor (0.664 B).
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
