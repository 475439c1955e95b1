#include "ui/analysis/allan_plot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <functional>

namespace vexa::ui {

namespace {
constexpr int kLeft = 78, kRight = 16, kTop = 14, kBottom = 40;

QString decadeText(int e) {
  if (e >= -3 && e <= 4) return QString::number(std::pow(10.0, e), 'g', 6);
  return QString("1e%1").arg(e);
}
}  // namespace

AllanPlot::AllanPlot(QWidget* parent) : QWidget(parent) {
  setObjectName("picAllanPlot");
  setMinimumSize(400, 300);
}

void AllanPlot::setCurves(std::vector<AllanCurve> curves) {
  curves_ = std::move(curves);
  update();
}

void AllanPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  render(painter, rect());
}

void AllanPlot::render(QPainter& painter, const QRect& area) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.fillRect(area, Qt::white);
  const QRect p = area.adjusted(kLeft, kTop, -kRight, -kBottom);
  QFont font = painter.font();
  font.setPointSizeF(8.5);
  painter.setFont(font);
  const QFontMetrics fm(font);

  // Decades that hold every point and bar.
  double tLo = INFINITY, tHi = -INFINITY, aLo = INFINITY, aHi = -INFINITY;
  for (const auto& c : curves_)
    for (const auto& pt : c.points) {
      if (!(pt.adev > 0)) continue;
      tLo = std::min(tLo, pt.tau), tHi = std::max(tHi, pt.tau);
      aLo = std::min(aLo, std::max(pt.low, pt.adev * 1e-3)), aHi = std::max(aHi, pt.high);
    }
  if (!std::isfinite(tLo)) tLo = 0.01, tHi = 100, aLo = 0.001, aHi = 1;
  const int ex0 = int(std::floor(std::log10(tLo))),
            ex1 = std::max(ex0 + 1, int(std::ceil(std::log10(tHi))));
  const int ey0 = int(std::floor(std::log10(aLo))),
            ey1 = std::max(ey0 + 1, int(std::ceil(std::log10(aHi))));
  const auto xOf = [&](double t) {
    return p.left() + (std::log10(t) - ex0) / double(ex1 - ex0) * p.width();
  };
  const auto yOf = [&](double a) {
    return p.bottom() - (std::log10(a) - ey0) / double(ey1 - ey0) * p.height();
  };

  for (int e = ex0; e <= ex1; ++e) {
    for (int k = 1; k < 10 && e + std::log10(k) <= ex1; ++k) {
      const double x = xOf(k * std::pow(10.0, e));
      painter.setPen(QColor(k == 1 ? 215 : 238, k == 1 ? 219 : 240, k == 1 ? 224 : 243));
      painter.drawLine(QPointF(x, p.top()), QPointF(x, p.bottom()));
    }
    painter.setPen(QColor(60, 66, 75));
    const QString s = decadeText(e);
    painter.drawText(QPointF(xOf(std::pow(10.0, e)) - fm.horizontalAdvance(s) / 2.0,
                             p.bottom() + fm.height() + 2),
                     s);
  }
  for (int e = ey0; e <= ey1; ++e) {
    for (int k = 1; k < 10 && e + std::log10(k) <= ey1; ++k) {
      const double y = yOf(k * std::pow(10.0, e));
      painter.setPen(QColor(k == 1 ? 215 : 238, k == 1 ? 219 : 240, k == 1 ? 224 : 243));
      painter.drawLine(QPointF(p.left(), y), QPointF(p.right(), y));
    }
    painter.setPen(QColor(60, 66, 75));
    const QString s = decadeText(e);
    painter.drawText(QPointF(p.left() - fm.horizontalAdvance(s) - 6,
                             yOf(std::pow(10.0, e)) + fm.ascent() / 2.0 - 1),
                     s);
  }
  painter.drawText(QPointF(p.center().x() - fm.horizontalAdvance("cluster time tau, s") / 2.0,
                           area.bottom() - 4),
                   "cluster time tau, s");
  painter.save();
  painter.translate(area.left() + fm.height(), p.center().y());
  painter.rotate(-90);
  // One unit for all curves names the axis; mixed units are in the legend.
  QString units = curves_.empty() ? QString() : curves_.front().units;
  for (const auto& c : curves_)
    if (c.units != units) units.clear();
  const QString yTitle = "Allan deviation" + (units.isEmpty() ? QString() : ", " + units);
  painter.drawText(QPointF(-fm.horizontalAdvance(yTitle) / 2.0, 0), yTitle);
  painter.restore();
  painter.setPen(QColor(150, 156, 165));
  painter.drawRect(p);

  painter.setClipRect(p);
  for (const auto& c : curves_) {
    // Slope guides: -1/2 through the random walk, flat at the floor.
    const double tA = std::pow(10.0, ex0), tB = std::pow(10.0, ex1);
    if (c.model.ok) {
      const auto line = [&](const std::function<double(double)>& f) {
        QPainterPath path;
        bool begun = false;
        for (int i = 0; i <= 160; ++i) {
          const double t = tA * std::pow(tB / tA, i / 160.0);
          const double v = f(t);
          if (!(v > 0) || !std::isfinite(v)) continue;
          begun ? path.lineTo(xOf(t), yOf(v)) : path.moveTo(xOf(t), yOf(v));
          begun = true;
        }
        painter.drawPath(path);
      };
      for (int j = 0; j < analysis::kNoiseTerms; ++j) {
        if (!c.model.terms[size_t(j)].resolved) continue;
        painter.setPen(QPen(c.color.lighter(150), 1.0, Qt::DashLine));
        line([&](double t) { return c.model.termDeviation(j, t); });
      }
      painter.setPen(QPen(c.color.darker(130), 1.2));
      line([&](double t) { return c.model.deviation(t); });
    } else if (c.readOffs.randomWalkFound) {
      painter.setPen(QPen(c.color.lighter(140), 1.0, Qt::DashLine));
      const double n = c.readOffs.randomWalk;
      painter.drawLine(QPointF(xOf(tA), yOf(n / std::sqrt(tA))),
                       QPointF(xOf(tB), yOf(n / std::sqrt(tB))));
    }
    if (!c.model.ok && c.readOffs.floorFound) {
      painter.setPen(QPen(c.color.lighter(140), 1.0, Qt::DotLine));
      const double y = yOf(c.readOffs.biasInstability * analysis::kBiasInstabilityFactor);
      painter.drawLine(QPointF(p.left(), y), QPointF(p.right(), y));
    }
    QPainterPath path;
    bool started = false;
    painter.setPen(QPen(c.color, 1.0));
    for (const auto& pt : c.points) {
      if (!(pt.adev > 0)) continue;
      const QPointF at(xOf(pt.tau), yOf(pt.adev));
      painter.drawLine(QPointF(at.x(), yOf(std::max(pt.low, aLo * 1e-3))),
                       QPointF(at.x(), yOf(pt.high)));
      started ? path.lineTo(at) : path.moveTo(at);
      started = true;
    }
    painter.setPen(QPen(c.color, 1.8));
    painter.drawPath(path);
    painter.setBrush(c.color);
    for (const auto& pt : c.points)
      if (pt.adev > 0) painter.drawEllipse(QPointF(xOf(pt.tau), yOf(pt.adev)), 2.6, 2.6);
    painter.setBrush(Qt::NoBrush);
  }
  painter.setClipping(false);

  // Legend, top right.
  int ly = p.top() + 8;
  for (const auto& c : curves_) {
    const QString label =
        units.isEmpty() && !c.units.isEmpty() ? c.name + " (" + c.units + ")" : c.name;
    const int w = fm.horizontalAdvance(label);
    painter.fillRect(QRectF(p.right() - w - 30, ly + fm.ascent() / 2.0 - 2, 16, 3), c.color);
    painter.setPen(QColor(40, 44, 52));
    painter.drawText(QPointF(p.right() - w - 8, ly + fm.ascent()), label);
    ly += fm.height() + 2;
  }
  painter.setPen(QColor(110, 116, 125));
  const bool fitted =
      std::any_of(curves_.begin(), curves_.end(), [](const AllanCurve& c) { return c.model.ok; });
  painter.drawText(QPointF(p.left() + 8, p.bottom() - 8),
                   fitted ? "solid: fitted noise model   dashed: its terms (Q, N, B, K, R)"
                          : "dashed: -1/2 slope (random walk)   dotted: 0 slope (bias "
                            "instability floor)");
  painter.restore();
}

}  // namespace vexa::ui
