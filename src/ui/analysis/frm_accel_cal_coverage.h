#pragma once

#include <QWidget>

#include "analysis/accel_still.h"

namespace vexa::ui {

// The module's six faces and twelve edges as tiles, each filled once a still pose has had it up.
class AccelCoverageView : public QWidget {
 public:
  explicit AccelCoverageView(QWidget* parent = nullptr);
  void setCoverage(const analysis::PoseCoverage& coverage);
  const analysis::PoseCoverage& coverage() const { return coverage_; }
  QSize sizeHint() const override { return {300, 150}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  analysis::PoseCoverage coverage_;
};

}  // namespace vexa::ui
