#include "ui/analysis/noise_panels.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <functional>
#include "ui/services/region.h"

namespace vexa::ui {

namespace {

constexpr int kLeft = 78, kRight = 16, kTop = 8, kBottom = 40, kGap = 14;

QString decadeText(int e) {
  if (e >= -3 && e <= 4) return Region().toString(std::pow(10.0, e), 'g', 6);
  return QString("1e%1").arg(e);
}

QString value(double v) {
  return Region().toString(v, 'g', 4);
}

// The model's value at x, from its curve (log-log interpolation); NaN outside it.
double modelAt(const std::vector<QPointF>& model, double x) {
  for (size_t i = 1; i < model.size(); ++i) {
    const QPointF a = model[i - 1], b = model[i];
    if (x < a.x() || x > b.x()) continue;
    const double f = std::log(x / a.x()) / std::log(b.x() / a.x());
    return std::exp(std::log(a.y()) + f * std::log(b.y() / a.y()));
  }
  return NAN;
}

}  // namespace

NoisePanels::NoisePanels(QString xTitle, QString xName, QString xUnit, QWidget* parent)
    : QWidget(parent),
      xTitle_(std::move(xTitle)),
      xName_(std::move(xName)),
      xUnit_(std::move(xUnit)) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(400, 300);
}

void NoisePanels::setPanels(std::vector<NoisePanel> panels) {
  panels_ = std::move(panels);
  autoScale();
}

void NoisePanels::autoScale() {
  views_.assign(panels_.size(), View{});
  double xLo = INFINITY, xHi = -INFINITY;
  for (size_t k = 0; k < panels_.size(); ++k) {
    double yLo = INFINITY, yHi = -INFINITY;
    for (const auto& s : panels_[k].series) {
      for (size_t i = 0; i < s.points.size(); ++i) {
        const QPointF p = s.points[i];
        if (!(p.x() > 0) || !(p.y() > 0)) continue;
        xLo = std::min(xLo, p.x()), xHi = std::max(xHi, p.x());
        double lo = p.y(), hi = p.y();
        if (i < s.bars.size()) lo = std::max(s.bars[i].first, p.y() / 10), hi = s.bars[i].second;
        yLo = std::min(yLo, lo), yHi = std::max(yHi, hi);
      }
    }
    if (std::isfinite(yLo) && yHi > 0) {
      views_[k].y0 = std::floor(std::log10(yLo));
      views_[k].y1 = std::max(views_[k].y0 + 1, std::ceil(std::log10(yHi)));
    }
  }
  if (std::isfinite(xLo)) {
    x0_ = std::floor(std::log10(xLo));
    x1_ = std::max(x0_ + 1, std::ceil(std::log10(xHi)));
  } else {
    x0_ = -2, x1_ = 2;
  }
  update();
}

std::pair<double, double> NoisePanels::yView(size_t panel) const {
  if (panel >= views_.size()) return {-3, 0};
  return {views_[panel].y0, views_[panel].y1};
}

QRect NoisePanels::panelRect(const QRect& area, size_t panel) const {
  const QRect plot = area.adjusted(kLeft, kTop, -kRight, -kBottom);
  const int n = std::max<int>(1, int(panels_.size()));
  const int h = std::max(1, (plot.height() - kGap * (n - 1)) / n);
  return QRect(plot.left(), plot.top() + int(panel) * (h + kGap), plot.width(), h);
}

size_t NoisePanels::panelAt(int y) const {
  for (size_t k = 0; k < panels_.size(); ++k)
    if (y <= panelRect(rect(), k).bottom() + kGap / 2) return k;
  return panels_.empty() ? 0 : panels_.size() - 1;
}

void NoisePanels::zoomAt(double factor, QPointF at) {
  if (!(factor > 0) || panels_.empty()) return;
  const size_t k = panelAt(int(at.y()));
  const QRect r = panelRect(rect(), k);
  const double lx = x0_ + (x1_ - x0_) * (at.x() - r.left()) / std::max(1, r.width());
  x0_ = lx - (lx - x0_) / factor, x1_ = lx + (x1_ - lx) / factor;
  View& v = views_[k];
  const double ly = v.y1 - (v.y1 - v.y0) * (at.y() - r.top()) / std::max(1, r.height());
  v.y0 = ly - (ly - v.y0) / factor, v.y1 = ly + (v.y1 - ly) / factor;
  update();
}

QString NoisePanels::readOutAt(QPointF at) const {
  if (panels_.empty()) return QString();
  const size_t k = panelAt(int(at.y()));
  const QRect r = panelRect(rect(), k);
  const double x = std::pow(10.0, x0_ + (x1_ - x0_) * (at.x() - r.left()) / std::max(1, r.width()));
  QString text = QString("%1 = %2 %3").arg(xName_, value(x), xUnit_);
  for (const auto& s : panels_[k].series) {
    if (s.points.empty()) continue;
    const auto nearest =
        std::min_element(s.points.begin(), s.points.end(), [x](const QPointF& a, const QPointF& b) {
          return std::fabs(std::log(a.x() / x)) < std::fabs(std::log(b.x() / x));
        });
    text += QString("   %1 %2").arg(s.name, value(nearest->y()));
    const double m = modelAt(s.model, nearest->x());
    if (std::isfinite(m)) text += QString(" (model %1)").arg(value(m));
    text += " " + panels_[k].unit;
  }
  return text;
}

void NoisePanels::render(QPainter& painter, const QRect& area) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.fillRect(area, Qt::white);
  QFont font = this->font();
  font.setPointSizeF(8.5);
  painter.setFont(font);
  const QFontMetrics fm(font);
  if (panels_.empty()) {
    painter.setPen(QColor(110, 116, 125));
    painter.drawText(area, Qt::AlignCenter, emptyText_);
    painter.restore();
    return;
  }
  for (size_t k = 0; k < panels_.size(); ++k) {
    const NoisePanel& panel = panels_[k];
    const View v = views_[k];
    const QRect p = panelRect(area, k);
    const auto xOf = [&](double x) {
      return p.left() + (std::log10(x) - x0_) / (x1_ - x0_) * p.width();
    };
    const auto yOf = [&](double y) {
      return p.bottom() - (std::log10(y) - v.y0) / (v.y1 - v.y0) * p.height();
    };
    // Grid: decades and their subdivisions; decades labelled.
    const auto grid = [&](double lo, double hi, bool vertical) {
      for (int e = int(std::floor(lo)); e <= int(std::ceil(hi)); ++e)
        for (int m = 1; m < 10; ++m) {
          const double at = e + std::log10(m);
          if (at < lo || at > hi) continue;
          painter.setPen(m == 1 ? QColor(215, 219, 224) : QColor(238, 240, 243));
          const double c = std::pow(10.0, at);
          if (vertical)
            painter.drawLine(QPointF(xOf(c), p.top()), QPointF(xOf(c), p.bottom()));
          else
            painter.drawLine(QPointF(p.left(), yOf(c)), QPointF(p.right(), yOf(c)));
          if (m != 1) continue;
          painter.setPen(QColor(60, 66, 75));
          const QString s = decadeText(e);
          if (vertical && k + 1 == panels_.size())
            painter.drawText(
                QPointF(xOf(c) - fm.horizontalAdvance(s) / 2.0, p.bottom() + fm.height() + 2), s);
          if (!vertical)
            painter.drawText(
                QPointF(p.left() - fm.horizontalAdvance(s) - 6, yOf(c) + fm.ascent() / 2.0 - 1), s);
        }
    };
    grid(x0_, x1_, true);
    grid(v.y0, v.y1, false);
    painter.save();
    painter.setPen(QColor(40, 44, 52));
    painter.translate(area.left() + fm.height(), p.center().y());
    painter.rotate(-90);
    // A short panel keeps the unit whole rather than the words before it.
    const QString title =
        fm.horizontalAdvance(panel.yTitle) <= p.height() ? panel.yTitle : panel.unit;
    painter.drawText(QPointF(-fm.horizontalAdvance(title) / 2.0, 0), title);
    painter.restore();

    painter.setClipRect(p);
    const auto polyline = [&](const std::vector<QPointF>& points) {
      QPainterPath path;
      bool begun = false;
      for (const QPointF& q : points) {
        if (!(q.x() > 0) || !(q.y() > 0)) continue;
        begun ? path.lineTo(xOf(q.x()), yOf(q.y())) : path.moveTo(xOf(q.x()), yOf(q.y()));
        begun = true;
      }
      painter.drawPath(path);
    };
    for (const auto& s : panel.series) {
      // Terms dashed and labelled where each matters most (closest to the model); the labels
      // go on last, over the markers.
      std::vector<std::pair<QPointF, QString>> labels;
      for (const auto& term : s.terms) {
        painter.setPen(QPen(s.color.lighter(150), 1.0, Qt::DashLine));
        polyline(term.line);
        double best = -INFINITY;
        QPointF at;
        for (const QPointF& q : term.line) {
          const double m = modelAt(s.model, q.x());
          const double lx = std::log10(q.x());
          if (!std::isfinite(m) || lx < x0_ + 0.1 * (x1_ - x0_) || lx > x1_ - 0.2 * (x1_ - x0_))
            continue;
          if (std::log10(q.y()) < v.y0 || std::log10(q.y()) > v.y1) continue;
          if (q.y() / m > best) best = q.y() / m, at = q;
        }
        if (std::isfinite(best)) labels.emplace_back(QPointF(xOf(at.x()), yOf(at.y())), term.label);
      }
      painter.setPen(QPen(s.color.darker(120), 1.6));
      polyline(s.model);
      // Measured: bars and hollow markers, so the line stays visible through them.
      painter.setPen(QPen(s.color, 1.0));
      for (size_t i = 0; i < s.points.size() && i < s.bars.size(); ++i) {
        const double x = xOf(s.points[i].x());
        painter.drawLine(QPointF(x, yOf(std::max(s.bars[i].first, s.points[i].y() / 100))),
                         QPointF(x, yOf(s.bars[i].second)));
      }
      painter.setPen(QPen(s.color, 1.3));
      painter.setBrush(Qt::white);
      for (const QPointF& q : s.points)
        if (q.x() > 0 && q.y() > 0) painter.drawEllipse(QPointF(xOf(q.x()), yOf(q.y())), 3.0, 3.0);
      painter.setBrush(Qt::NoBrush);
      for (const auto& [at, label] : labels) {
        // On a pale ground, so the label reads over markers and grid alike.
        const QRectF box(at.x() + 3, at.y() - 4 - fm.ascent(), fm.horizontalAdvance(label) + 4,
                         fm.height());
        painter.fillRect(box, QColor(255, 255, 255, 210));
        painter.setPen(s.color.darker(140));
        painter.drawText(QPointF(box.left() + 2, at.y() - 4), label);
      }
    }
    painter.setClipping(false);
    painter.setPen(QColor(150, 156, 165));
    painter.drawRect(p);

    // Legend, top right of the panel: each channel, then what marks and lines mean.
    int ly = p.top() + 4;
    const auto entry = [&](const QString& label, const std::function<void(QPointF)>& key) {
      const int w = fm.horizontalAdvance(label);
      const QRectF box(p.right() - w - 34, ly, w + 32, fm.height());
      painter.fillRect(box, QColor(255, 255, 255, 220));
      key(QPointF(box.left() + 12, box.center().y()));
      painter.setPen(QColor(40, 44, 52));
      painter.drawText(QPointF(box.left() + 26, ly + fm.ascent()), label);
      ly += fm.height() + 1;
    };
    for (const auto& s : panel.series)
      entry(s.name + " (" + panel.unit + ")", [&](QPointF c) {
        painter.setPen(QPen(s.color, 1.3));
        painter.setBrush(Qt::white);
        painter.drawEllipse(c, 3.0, 3.0);
        painter.setBrush(Qt::NoBrush);
      });
    entry("measured: markers   model: line   its terms: dashed", [&](QPointF c) {
      painter.setPen(QPen(QColor(90, 96, 105), 1.6));
      painter.drawLine(QPointF(c.x() - 8, c.y()), QPointF(c.x() + 8, c.y()));
    });
  }
  painter.setPen(QColor(60, 66, 75));
  painter.drawText(
      QPointF(area.center().x() - fm.horizontalAdvance(xTitle_) / 2.0, area.bottom() - 4), xTitle_);
  painter.restore();
}

void NoisePanels::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  render(painter, rect());
}

void NoisePanels::wheelEvent(QWheelEvent* event) {
  zoomAt(std::pow(1.25, event->angleDelta().y() / 120.0), event->position());
  event->accept();
}

void NoisePanels::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || panels_.empty()) return;
  dragging_ = true;
  dragFrom_ = event->position();
  dragX0_ = x0_, dragX1_ = x1_;
  dragPanel_ = panelAt(int(dragFrom_.y()));
  dragView_ = views_[dragPanel_];
}

void NoisePanels::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  if (dragging_ && dragPanel_ < views_.size()) {
    const QRect r = panelRect(rect(), dragPanel_);
    const double dx = (dragX1_ - dragX0_) * (at.x() - dragFrom_.x()) / std::max(1, r.width());
    const double dy =
        (dragView_.y1 - dragView_.y0) * (at.y() - dragFrom_.y()) / std::max(1, r.height());
    x0_ = dragX0_ - dx, x1_ = dragX1_ - dx;
    views_[dragPanel_] = {dragView_.y0 + dy, dragView_.y1 + dy};
    update();
  }
  emit cursorMoved(readOutAt(at));
}

void NoisePanels::mouseReleaseEvent(QMouseEvent*) {
  dragging_ = false;
}

void NoisePanels::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Home)
    autoScale();
  else
    QWidget::keyPressEvent(event);
}

}  // namespace vexa::ui
