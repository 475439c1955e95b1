#include "report/noise_plots.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <functional>

namespace vexa::report {

namespace {

constexpr double kLeft = 70, kRight = 12, kTop = 12, kBottom = 36;

// Log-log axes over whole decades that hold the given ranges.
class LogAxes {
 public:
  LogAxes(const QRectF& area, double x0, double x1, double y0, double y1)
      : plot_(area.adjusted(kLeft, kTop, -kRight, -kBottom)) {
    if (!(x0 > 0) || !std::isfinite(x1)) x0 = 0.01, x1 = 100;
    if (!(y0 > 0) || !std::isfinite(y1)) y0 = 0.001, y1 = 1;
    ex0_ = int(std::floor(std::log10(x0)));
    ex1_ = std::max(ex0_ + 1, int(std::ceil(std::log10(x1))));
    ey0_ = int(std::floor(std::log10(y0)));
    ey1_ = std::max(ey0_ + 1, int(std::ceil(std::log10(y1))));
  }
  double x(double v) const {
    return plot_.left() + (std::log10(v) - ex0_) / double(ex1_ - ex0_) * plot_.width();
  }
  double y(double v) const {
    return plot_.bottom() - (std::log10(v) - ey0_) / double(ey1_ - ey0_) * plot_.height();
  }
  double xMin() const { return std::pow(10.0, ex0_); }
  double xMax() const { return std::pow(10.0, ex1_); }
  const QRectF& plot() const { return plot_; }

  void draw(QPainter& p, const QString& xTitle, const QString& yTitle) const {
    const QFontMetricsF fm(p.font());
    const auto label = [](int e) {
      // In the regional form the figures take (a decimal comma where that is the custom).
      return e >= -3 && e <= 4 ? QLocale().toString(std::pow(10.0, e), 'g', 6)
                               : QString("1e%1").arg(e);
    };
    for (int e = ex0_; e <= ex1_; ++e) {
      for (int k = 1; k < 10 && e + std::log10(k) <= ex1_; ++k) {
        p.setPen(k == 1 ? QColor(205, 210, 216) : QColor(236, 238, 241));
        const double at = x(k * std::pow(10.0, e));
        p.drawLine(QPointF(at, plot_.top()), QPointF(at, plot_.bottom()));
      }
      p.setPen(QColor(60, 66, 75));
      const QString s = label(e);
      p.drawText(QPointF(x(std::pow(10.0, e)) - fm.horizontalAdvance(s) / 2,
                         plot_.bottom() + fm.height() + 1),
                 s);
    }
    for (int e = ey0_; e <= ey1_; ++e) {
      for (int k = 1; k < 10 && e + std::log10(k) <= ey1_; ++k) {
        p.setPen(k == 1 ? QColor(205, 210, 216) : QColor(236, 238, 241));
        const double at = y(k * std::pow(10.0, e));
        p.drawLine(QPointF(plot_.left(), at), QPointF(plot_.right(), at));
      }
      p.setPen(QColor(60, 66, 75));
      const QString s = label(e);
      p.drawText(QPointF(plot_.left() - fm.horizontalAdvance(s) - 5,
                         y(std::pow(10.0, e)) + fm.ascent() / 2 - 1),
                 s);
    }
    p.drawText(QPointF(plot_.center().x() - fm.horizontalAdvance(xTitle) / 2,
                       plot_.bottom() + 2 * fm.height() + 2),
               xTitle);
    p.save();
    p.translate(plot_.left() - kLeft + fm.height(), plot_.center().y());
    p.rotate(-90);
    p.drawText(QPointF(-fm.horizontalAdvance(yTitle) / 2, 0), yTitle);
    p.restore();
    p.setPen(QColor(150, 156, 165));
    p.drawRect(plot_);
  }

 private:
  QRectF plot_;
  int ex0_, ex1_, ey0_, ey1_;
};

// A smooth line through f(x) across the axes, in log steps.
void drawFunction(QPainter& p, const LogAxes& axes, const std::function<double(double)>& f) {
  QPainterPath path;
  bool started = false;
  for (int i = 0; i <= 200; ++i) {
    const double v = axes.xMin() * std::pow(axes.xMax() / axes.xMin(), i / 200.0);
    const double w = f(v);
    if (!(w > 0) || !std::isfinite(w)) continue;
    const QPointF at(axes.x(v), axes.y(w));
    started ? path.lineTo(at) : path.moveTo(at);
    started = true;
  }
  p.drawPath(path);
}

// The term's name beside its line, where the line is strongest against the model within the
// plot (so each label sits on its own stretch of the curve).
void labelTerm(QPainter& p, const LogAxes& axes, const analysis::NoiseModel& m, int term,
               const QColor& color) {
  double best = 0.0, at = 0.0;
  for (int i = 0; i <= 60; ++i) {
    const double tau = axes.xMin() * std::pow(axes.xMax() / axes.xMin(), (0.05 + 0.9 * i / 60.0));
    const double share = m.termDeviation(term, tau) / m.deviation(tau);
    if (share > best &&
        axes.plot().contains(QPointF(axes.x(tau), axes.y(m.termDeviation(term, tau)))))
      best = share, at = tau;
  }
  if (!(at > 0.0)) return;
  p.save();
  p.setPen(color);
  p.drawText(QPointF(axes.x(at) + 3, axes.y(m.termDeviation(term, at)) - 3),
             analysis::kNoiseTermNames[size_t(term)]);
  p.restore();
}

void drawLegend(QPainter& p, const QRectF& plot, const std::vector<PlottedNoise>& channels,
                const QString& note) {
  const QFontMetricsF fm(p.font());
  double ly = plot.top() + 6;
  for (const auto& c : channels) {
    const QString label = QString::fromStdString(c.noise->title);
    const double w = fm.horizontalAdvance(label);
    p.fillRect(QRectF(plot.right() - w - 28, ly + fm.ascent() / 2 - 2, 16, 3), c.color);
    p.setPen(QColor(40, 44, 52));
    p.drawText(QPointF(plot.right() - w - 6, ly + fm.ascent()), label);
    ly += fm.height() + 1;
  }
  p.setPen(QColor(110, 116, 125));
  p.drawText(QPointF(plot.left() + 6, plot.bottom() - 6), note);
}

QString unitsOf(const std::vector<PlottedNoise>& channels) {
  QString units = channels.empty() ? QString() : QString::fromStdString(channels[0].noise->units);
  for (const auto& c : channels)
    if (QString::fromStdString(c.noise->units) != units) return QString();
  return units;
}

}  // namespace

QColor ChannelColor(size_t n) {
  static const QColor colors[] = {QColor(38, 94, 160),  QColor(200, 70, 40),  QColor(40, 140, 70),
                                  QColor(150, 60, 160), QColor(200, 140, 20), QColor(20, 150, 160)};
  return colors[n % 6];
}

void DrawAllanWithFit(QPainter& p, const QRectF& area, const std::vector<PlottedNoise>& channels) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.fillRect(area, Qt::white);
  double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
  for (const auto& c : channels)
    for (const auto& pt : c.noise->curve)
      if (pt.adev > 0) {
        x0 = std::min(x0, pt.tau), x1 = std::max(x1, pt.tau);
        y0 = std::min(y0, std::max(pt.low, pt.adev / 3)), y1 = std::max(y1, pt.high);
      }
  const LogAxes axes(area, x0, x1, y0, y1);
  const QString units = unitsOf(channels);
  axes.draw(p, "cluster time tau, s", "Allan deviation" + (units.isEmpty() ? "" : ", " + units));
  p.setClipRect(axes.plot());
  for (const auto& c : channels) {
    const analysis::NoiseModel& m = c.noise->model;
    if (m.ok) {
      for (int j = 0; j < analysis::kNoiseTerms; ++j) {
        if (!m.terms[size_t(j)].resolved) continue;
        p.setPen(QPen(c.color.lighter(150), 1.0, Qt::DashLine));
        drawFunction(p, axes, [&](double tau) { return m.termDeviation(j, tau); });
        labelTerm(p, axes, m, j, c.color.darker(120));
      }
      p.setPen(QPen(c.color.darker(130), 1.2));
      drawFunction(p, axes, [&](double tau) { return m.deviation(tau); });
    }
    p.setPen(QPen(c.color, 1.0));
    p.setBrush(c.color);
    for (const auto& pt : c.noise->curve) {
      if (!(pt.adev > 0)) continue;
      const double at = axes.x(pt.tau);
      p.drawLine(QPointF(at, axes.y(std::max(pt.low, 1e-300))), QPointF(at, axes.y(pt.high)));
      p.drawEllipse(QPointF(at, axes.y(pt.adev)), 2.4, 2.4);
    }
    p.setBrush(Qt::NoBrush);
  }
  p.setClipping(false);
  drawLegend(p, axes.plot(), channels,
             "points: Allan deviation with bounds   solid: fitted model   dashed: its terms");
  p.restore();
}

void DrawNoiseDensity(QPainter& p, const QRectF& area, const std::vector<PlottedNoise>& channels) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.fillRect(area, Qt::white);
  // In the unit the figures table gives the density in (mg/sqrt(Hz) for accelerometers).
  const auto scaleOf = [](const analysis::ChannelNoise& n) {
    return n.densityFigure.value > 0.0 && n.density.white > 0.0
               ? n.densityFigure.value / n.density.white
               : 1.0;
  };
  double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
  for (const auto& c : channels) {
    const auto& d = c.noise->density;
    const double k = scaleOf(*c.noise);
    for (size_t i = 0; i < d.frequency.size(); ++i)
      if (d.density[i] > 0) {
        x0 = std::min(x0, d.frequency[i]), x1 = std::max(x1, d.frequency[i]);
        y0 = std::min(y0, k * d.density[i]), y1 = std::max(y1, k * d.density[i]);
      }
  }
  const LogAxes axes(area, x0, x1, y0, y1);
  QString units =
      channels.empty() ? QString() : QString::fromStdString(channels[0].noise->densityFigure.unit);
  for (const auto& c : channels)
    if (QString::fromStdString(c.noise->densityFigure.unit) != units) units.clear();
  axes.draw(p, "frequency, Hz", "noise density" + (units.isEmpty() ? QString() : ", " + units));
  p.setClipRect(axes.plot());
  for (const auto& c : channels) {
    const auto& d = c.noise->density;
    const double k = scaleOf(*c.noise);
    QPainterPath path;
    bool started = false;
    for (size_t i = 0; i < d.frequency.size(); ++i) {
      if (!(d.density[i] > 0)) continue;
      const QPointF at(axes.x(d.frequency[i]), axes.y(k * d.density[i]));
      started ? path.lineTo(at) : path.moveTo(at);
      started = true;
    }
    p.setPen(QPen(c.color, 1.4));
    p.drawPath(path);
    if (d.whiteFound) {
      p.setPen(QPen(c.color.darker(140), 1.0, Qt::DashLine));
      p.drawLine(QPointF(axes.x(d.flatFrom), axes.y(k * d.white)),
                 QPointF(axes.x(d.flatTo), axes.y(k * d.white)));
    }
  }
  p.setClipping(false);
  drawLegend(p, axes.plot(), channels,
             "sqrt of the two-sided density (Welch, Hann)   dashed: white level over its band");
  p.restore();
}

}  // namespace vexa::report
