#pragma once

#include <optional>
#include <vector>

#include <QWidget>

#include "results/results_store.h"

namespace vexa::ui {

// One figure across units: a strip plot, one column per unit in name order, the value as a dot
// with its sigma as a bar, and the datasheet limit as a red line where one is known. Units whose
// value the record could not resolve are drawn hollow.
class FigurePlot : public QWidget {
  Q_OBJECT

 public:
  explicit FigurePlot(QWidget* parent = nullptr);
  void setValues(std::vector<results::FigureValue> values, std::optional<double> limit);
  // Units above the limit, for the caption beside the plot.
  int aboveLimit() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<results::FigureValue> values_;
  std::optional<double> limit_;
};

}  // namespace vexa::ui
