#include "ui/analysis/mag_cloud_view.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

namespace vexa::ui {

namespace {

constexpr int kRecent = 40;  // the newest samples stand out
const QColor kPointColour(38, 94, 160);
const QColor kRecentColour(230, 120, 20);
const QColor kFitColour(200, 40, 40);
const QColor kTargetColour(40, 150, 70);

struct Projection {
  int h, v;  // axes shown across and up
  const char* name;
  const char* hLabel;
  const char* vLabel;
};
constexpr Projection kProjections[3] = {
    {0, 1, "XY", "X", "Y"}, {1, 2, "YZ", "Y", "Z"}, {2, 0, "ZX", "Z", "X"}};

}  // namespace

MagCloudView::MagCloudView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(600, 220);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void MagCloudView::setCloud(const std::vector<analysis::Vec3>& points, bool fitOk,
                            const analysis::Vec3& centre, const analysis::Vec3& radii,
                            double field) {
  points_ = points;
  fitOk_ = fitOk;
  centre_ = centre;
  radii_ = radii;
  field_ = field;
  // One scale for the three panels, about the origin, in steps so that it does not twitch.
  double extent = 100.0;
  for (const auto& p : points_)
    for (double v : p) extent = std::max(extent, std::abs(v));
  if (fitOk_) {
    for (int a = 0; a < 3; ++a) extent = std::max(extent, std::abs(centre_[a]) + radii_[a]);
    extent = std::max(extent, field_);
  }
  halfSpan_ = 100.0 * std::ceil(extent * 1.08 / 100.0);
  update();
}

void MagCloudView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), palette().color(QPalette::Window));
  const double gap = 10.0;
  const double side = std::min((width() - 4 * gap) / 3.0, height() - 2 * gap - 16.0);
  if (side < 40) return;
  const double top = gap + 16.0;

  for (int k = 0; k < 3; ++k) {
    const Projection& pr = kProjections[k];
    const QRectF box(gap + k * (side + gap), top, side, side);
    p.setPen(QPen(QColor(180, 186, 195), 1.0));
    p.setBrush(Qt::white);
    p.drawRect(box);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRectF(box.left(), 0, side, top - 2), Qt::AlignLeft | Qt::AlignBottom,
               QString("%1   (%2 across, %3 up; \u00b1%4 mG)")
                   .arg(pr.name, pr.hLabel, pr.vLabel)
                   .arg(halfSpan_, 0, 'f', 0));

    const double scale = side / (2.0 * halfSpan_);
    const QPointF origin = box.center();
    auto at = [&](double h, double v) {
      return QPointF(origin.x() + h * scale, origin.y() - v * scale);
    };
    p.save();
    p.setClipRect(box.adjusted(1, 1, -1, -1));
    // Axes through the origin.
    p.setPen(QPen(QColor(210, 214, 220), 1.0, Qt::DashLine));
    p.drawLine(QPointF(box.left(), origin.y()), QPointF(box.right(), origin.y()));
    p.drawLine(QPointF(origin.x(), box.top()), QPointF(origin.x(), box.bottom()));
    // Where a corrected cloud lies.
    if (fitOk_ && field_ > 0) {
      p.setPen(QPen(kTargetColour, 1.2, Qt::DotLine));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(origin, field_ * scale, field_ * scale);
    }
    // Samples, the newest on top.
    QPolygonF older, recent;
    const size_t firstRecent = points_.size() > kRecent ? points_.size() - kRecent : 0;
    for (size_t i = 0; i < points_.size(); ++i)
      (i < firstRecent ? older : recent) << at(points_[i][pr.h], points_[i][pr.v]);
    p.setPen(QPen(kPointColour, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawPoints(older);
    p.setPen(QPen(kRecentColour, 3.6, Qt::SolidLine, Qt::RoundCap));
    p.drawPoints(recent);
    // The fitted ellipsoid's outline: an axis-aligned ellipse in every projection.
    if (fitOk_) {
      p.setPen(QPen(kFitColour, 1.8));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(at(centre_[pr.h], centre_[pr.v]), radii_[pr.h] * scale, radii_[pr.v] * scale);
      const QPointF c = at(centre_[pr.h], centre_[pr.v]);
      p.drawLine(c - QPointF(5, 0), c + QPointF(5, 0));
      p.drawLine(c - QPointF(0, 5), c + QPointF(0, 5));
    }
    p.restore();
  }
}

CoverageView::CoverageView(const analysis::SphereBins& bins, QWidget* parent)
    : QWidget(parent), bins_(bins), filled_(static_cast<size_t>(bins.count()), false) {
  setMinimumSize(160, 90);
}

void CoverageView::setFilled(const std::vector<bool>& filled) {
  filled_ = filled;
  filled_.resize(static_cast<size_t>(bins_.count()), false);
  update();
}

void CoverageView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
  const double rowHeight = area.height() / bins_.bands();
  for (int b = 0; b < bins_.bands(); ++b) {
    const int cells = bins_.cellsInBand(b);
    const double cellWidth = area.width() / cells;
    for (int c = 0; c < cells; ++c) {
      const QRectF cell(area.left() + c * cellWidth, area.top() + b * rowHeight, cellWidth,
                        rowHeight);
      const bool on = filled_[static_cast<size_t>(bins_.firstBin(b) + c)];
      p.fillRect(cell.adjusted(0.5, 0.5, -0.5, -0.5),
                 on ? QColor(60, 160, 90) : QColor(222, 225, 230));
    }
  }
  p.setPen(QPen(QColor(180, 186, 195), 1.0));
  p.drawRect(area);
}

}  // namespace vexa::ui
