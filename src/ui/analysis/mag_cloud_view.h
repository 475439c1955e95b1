#pragma once

#include <vector>

#include <QWidget>

#include "analysis/ellipsoid_fit.h"
#include "analysis/sphere_coverage.h"

namespace vexa::ui {

// The magnetometer cloud in three projections side by side (XY, YZ, ZX), on one scale about
// the origin, with the fitted ellipsoid's outline in each and a circle of the fitted field
// strength about the origin: where a corrected cloud should lie. Painted as vectors at every
// repaint, so it is crisp at any pixel density.
class MagCloudView : public QWidget {
  Q_OBJECT

 public:
  explicit MagCloudView(QWidget* parent = nullptr);

  // Readings (mG) and, when `fitOk`, the fit in the same frame.
  void setCloud(const std::vector<analysis::Vec3>& points, bool fitOk, const analysis::Vec3& centre,
                const analysis::Vec3& radii, double field);

  // Half the side of each panel, in mG.
  double halfSpan() const { return halfSpan_; }
  int pointCount() const { return static_cast<int>(points_.size()); }

  QSize sizeHint() const override { return {840, 290}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<analysis::Vec3> points_;
  bool fitOk_ = false;
  analysis::Vec3 centre_{};
  analysis::Vec3 radii_{};
  double field_ = 0.0;
  double halfSpan_ = 600.0;
};

// Which equal-area direction bins hold a sample: one row per latitude band from straight up
// (top) to straight down, each row cut into that band's cells around the compass.
class CoverageView : public QWidget {
  Q_OBJECT

 public:
  CoverageView(const analysis::SphereBins& bins, QWidget* parent = nullptr);
  void setFilled(const std::vector<bool>& filled);
  QSize sizeHint() const override { return {220, 120}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const analysis::SphereBins& bins_;
  std::vector<bool> filled_;
};

}  // namespace vexa::ui
