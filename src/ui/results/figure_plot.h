#pragma once

#include <optional>
#include <vector>

#include <QWidget>

#include "results/results_store.h"

namespace vexa::ui {

// One figure across units: a strip plot, one column per unit in name order, the value as a dot
// with its sigma as a bar, and the datasheet limit as a red line where one is known. Units whose
// value the record could not resolve are drawn hollow. Each column is named under the plot
// (shortened when many share the width); hovering shows the unit and its value, a click opens
// the unit.
class FigurePlot : public QWidget {
  Q_OBJECT

 public:
  explicit FigurePlot(QWidget* parent = nullptr);
  void setValues(std::vector<results::FigureValue> values, std::optional<double> limit);
  // Units above the limit, for the caption beside the plot.
  int aboveLimit() const;
  // The unit whose column holds `at` (widget coordinates), -1 for none; its name under the
  // column where the names fit, and in the tooltip: "UNIT: value +/- sigma unit".
  int unitAt(const QPoint& at) const;
  QString columnLabel(size_t index) const;
  QString pointText(size_t index) const;

 signals:
  // A click on a unit's column: open that unit.
  void unitClicked(const QString& unit);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QRectF plotArea() const;
  std::vector<results::FigureValue> values_;
  std::optional<double> limit_;
};

}  // namespace vexa::ui
