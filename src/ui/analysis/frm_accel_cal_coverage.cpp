#include "ui/analysis/frm_accel_cal_coverage.h"

#include <QPainter>

namespace vexa::ui {

namespace {

constexpr const char* kFaceNames[6] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};

// "+X+Y" and the like, from the edge's direction.
QString edgeName(const analysis::Vec3& d) {
  QString s;
  for (int a = 0; a < 3; ++a)
    if (d[a] != 0) s += QString(d[a] > 0 ? "+" : "-") + QChar('X' + a);
  return s;
}

}  // namespace

AccelCoverageView::AccelCoverageView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(260, 120);
}

void AccelCoverageView::setCoverage(const analysis::PoseCoverage& coverage) {
  coverage_ = coverage;
  update();
}

void AccelCoverageView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  // Faces in the first row, edges in the two below: six tiles a row.
  const double w = width() / 6.0, h = height() / 3.0;
  auto tile = [&](int index, const QString& name, bool covered) {
    const QRectF r((index % 6) * w + 2, (index / 6) * h + 2, w - 4, h - 4);
    p.setPen(palette().color(QPalette::WindowText));
    p.setBrush(covered ? QColor(60, 170, 80) : palette().color(QPalette::Base));
    p.drawRoundedRect(r, 4, 4);
    p.drawText(r, Qt::AlignCenter, name);
  };
  for (int f = 0; f < 6; ++f) tile(f, kFaceNames[f], coverage_.faces[f]);
  for (int e = 0; e < 12; ++e)
    tile(6 + e, edgeName(analysis::kEdgeDirections[e]), coverage_.edges[e]);
}

}  // namespace vexa::ui
