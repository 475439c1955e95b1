#include "ui/analysis/log_plot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "analysis/span_statistics.h"

namespace vexa::ui {

namespace {

constexpr int kLeft = 72, kRight = 12, kTop = 10, kBottom = 34;
constexpr int kLaneGap = 8;

QString tickText(double v, double step) {
  const int decimals = std::max(0, int(-std::floor(std::log10(step) + 1e-9)));
  return QString::number(v, 'f', std::min(decimals, 9));
}

}  // namespace

std::vector<double> NiceTicks(double low, double high, int maxTicks) {
  std::vector<double> ticks;
  if (!(high > low) || maxTicks < 1) return ticks;
  const double raw = (high - low) / maxTicks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double f : {1.0, 2.0, 5.0, 10.0})
    if (f * power >= raw) {
      step = f * power;
      break;
    }
  for (double t = std::ceil(low / step) * step; t <= high + step * 1e-9; t += step)
    ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
  return ticks;
}

LogPlot::LogPlot(QWidget* parent) : QWidget(parent) {
  setObjectName("picLogPlot");
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(400, 240);
  setAutoFillBackground(false);
}

void LogPlot::setSeries(std::vector<PlotSeries> series) {
  series_ = std::move(series);
  autoScale();
}

std::pair<int64_t, int64_t> LogPlot::visibleSamples(const PlotSeries& s) const {
  if (!s.values || s.values->empty() || !(s.tau0 > 0)) return {0, 0};
  const int64_t n = int64_t(s.values->size());
  const int64_t first = std::clamp<int64_t>(int64_t(std::ceil(t0_ / s.tau0 - 1e-9)), 0, n);
  const int64_t last = std::clamp<int64_t>(int64_t(std::floor(t1_ / s.tau0 + 1e-9)) + 1, 0, n);
  return {first, std::max(first, last)};
}

void LogPlot::autoScale() {
  double end = 0.0;
  for (const auto& s : series_)
    if (s.values && !s.values->empty()) end = std::max(end, double(s.values->size() - 1) * s.tau0);
  t0_ = 0.0;
  t1_ = end > 0 ? end : 1.0;
  lanes_.clear();
  for (const auto& s : series_)
    if (std::none_of(lanes_.begin(), lanes_.end(),
                     [&](const Lane& l) { return l.units == s.units; }))
      lanes_.push_back({s.units});
  for (Lane& lane : lanes_) {
    double lo = INFINITY, hi = -INFINITY;
    for (const auto& s : series_) {
      if (s.units != lane.units || !s.values || s.values->empty()) continue;
      const auto [mn, mx] = std::minmax_element(s.values->begin(), s.values->end());
      lo = std::min(lo, *mn);
      hi = std::max(hi, *mx);
    }
    if (!std::isfinite(lo)) lo = -1, hi = 1;
    if (hi - lo < 1e-12 * std::max(1.0, std::fabs(hi))) lo -= 0.5, hi += 0.5;
    const double pad = (hi - lo) * 0.05;
    lane.y0 = lo - pad;
    lane.y1 = hi + pad;
  }
  update();
  emit viewChanged();
}

void LogPlot::setTimeRange(double from, double to) {
  if (!(to > from)) return;
  t0_ = from;
  t1_ = to;
  update();
  emit viewChanged();
}

void LogPlot::setValueRange(double low, double high, size_t lane) {
  if (!(high > low)) return;
  if (lanes_.empty()) lanes_.push_back({});
  if (lane >= lanes_.size()) return;
  lanes_[lane].y0 = low;
  lanes_[lane].y1 = high;
  update();
}

std::pair<double, double> LogPlot::valueRange(size_t lane) const {
  if (lane >= lanes_.size()) return {-1.0, 1.0};
  return {lanes_[lane].y0, lanes_[lane].y1};
}

QStringList LogPlot::laneUnits() const {
  QStringList units;
  for (const Lane& l : lanes_) units << l.units;
  return units;
}

void LogPlot::changeValues(double factor, double share, double shift) {
  for (Lane& l : lanes_) {
    const double v = l.y1 - (l.y1 - l.y0) * share;
    const double y0 = v - (v - l.y0) / factor, y1 = v + (l.y1 - v) / factor;
    const double d = (y1 - y0) * shift;
    if (y1 > y0) l.y0 = y0 + d, l.y1 = y1 + d;
  }
  update();
}

void LogPlot::zoomTime(double factor, double at) {
  if (!(factor > 0)) return;
  setTimeRange(at - (at - t0_) / factor, at + (t1_ - at) / factor);
}

void LogPlot::panTime(double share) {
  const double d = (t1_ - t0_) * share;
  setTimeRange(t0_ + d, t1_ + d);
}

QRect LogPlot::plotArea(const QRect& area) const {
  return area.adjusted(kLeft, kTop, -kRight, -kBottom);
}

double LogPlot::timeAt(int x) const {
  const QRect p = plotArea(rect());
  return t0_ + (t1_ - t0_) * double(x - p.left()) / std::max(1, p.width());
}

QRect LogPlot::laneArea(const QRect& plot, size_t lane) const {
  const int n = std::max<int>(1, int(lanes_.size()));
  const int h = std::max(1, (plot.height() - kLaneGap * (n - 1)) / n);
  return QRect(plot.left(), plot.top() + int(lane) * (h + kLaneGap), plot.width(), h);
}

size_t LogPlot::laneOf(const PlotSeries& s) const {
  for (size_t k = 0; k < lanes_.size(); ++k)
    if (lanes_[k].units == s.units) return k;
  return 0;
}

size_t LogPlot::laneAt(int y) const {
  const QRect p = plotArea(rect());
  for (size_t k = 0; k < lanes_.size(); ++k)
    if (y <= laneArea(p, k).bottom() + kLaneGap / 2) return k;
  return lanes_.empty() ? 0 : lanes_.size() - 1;
}

QString LogPlot::readOutAt(double t) const {
  QString text = QString("t = %1 s").arg(t, 0, 'f', 4);
  for (const auto& s : series_) {
    if (!s.values || s.values->empty()) continue;
    const int64_t i = std::llround(t / s.tau0);
    if (i < 0 || i >= int64_t(s.values->size())) continue;
    text += QString("   %1 %2 %3").arg(s.name).arg((*s.values)[i], 0, 'g', 7).arg(s.units);
  }
  return text;
}

void LogPlot::render(QPainter& painter, const QRect& area) const {
  const QRect p = plotArea(area);
  painter.save();
  painter.fillRect(area, Qt::white);
  painter.setPen(QColor(90, 96, 105));
  QFont font = painter.font();
  font.setPointSizeF(8.5);
  painter.setFont(font);
  const QFontMetrics fm(font);

  const auto xOf = [&](double t) { return p.left() + (t - t0_) / (t1_ - t0_) * p.width(); };

  // Time grid and its labels under the lowest lane.
  const auto xt = NiceTicks(t0_, t1_, std::max(2, p.width() / 90));
  const double xStep = xt.size() > 1 ? xt[1] - xt[0] : 1.0;
  const size_t laneCount = std::max<size_t>(1, lanes_.size());
  for (double t : xt) {
    const double x = xOf(t);
    painter.setPen(QColor(228, 231, 235));
    for (size_t k = 0; k < laneCount; ++k) {
      const QRect lane = laneArea(p, k);
      painter.drawLine(QPointF(x, lane.top()), QPointF(x, lane.bottom()));
    }
    painter.setPen(QColor(60, 66, 75));
    const QString s = tickText(t, xStep);
    painter.drawText(QPointF(x - fm.horizontalAdvance(s) / 2.0, p.bottom() + fm.height() + 2), s);
  }
  painter.drawText(QPointF(p.right() - fm.horizontalAdvance("time, s"), area.bottom() - 3),
                   "time, s");

  // Each lane: its value grid, its tick labels and its unit on the left, its frame.
  for (size_t k = 0; k < laneCount; ++k) {
    const QRect lane = laneArea(p, k);
    const Lane range = k < lanes_.size() ? lanes_[k] : Lane{};
    const auto yOf = [&](double v) {
      return lane.top() + (range.y1 - v) / (range.y1 - range.y0) * lane.height();
    };
    const auto yt = NiceTicks(range.y0, range.y1, std::max(2, lane.height() / 40));
    const double yStep = yt.size() > 1 ? yt[1] - yt[0] : 1.0;
    for (double v : yt) {
      const double y = yOf(v);
      painter.setPen(QColor(228, 231, 235));
      painter.drawLine(QPointF(lane.left(), y), QPointF(lane.right(), y));
      painter.setPen(QColor(60, 66, 75));
      const QString s = tickText(v, yStep);
      painter.drawText(
          QPointF(lane.left() - fm.horizontalAdvance(s) - 6, y + fm.ascent() / 2.0 - 1), s);
    }
    if (!range.units.isEmpty()) {
      painter.save();
      painter.setPen(QColor(40, 44, 52));
      painter.translate(area.left() + fm.ascent() + 1, lane.center().y());
      painter.rotate(-90);
      painter.drawText(QPointF(-fm.horizontalAdvance(range.units) / 2.0, 0), range.units);
      painter.restore();
    }
    painter.setPen(QColor(150, 156, 165));
    painter.drawRect(lane);
  }

  // Traces, each in its lane: the min/max envelope per pixel column, joined to the column
  // before.
  for (const auto& s : series_) {
    if (!s.values || s.values->empty()) continue;
    const auto [first, last] = visibleSamples(s);
    if (last <= first) continue;
    const QRect lane = laneArea(p, laneOf(s));
    const Lane range = lanes_.empty() ? Lane{} : lanes_[laneOf(s)];
    const auto yOf = [&](double v) {
      return lane.top() + (range.y1 - v) / (range.y1 - range.y0) * lane.height();
    };
    painter.setClipRect(lane);
    painter.setPen(QPen(s.color, 1.0));
    const int64_t n = last - first;
    // The pixel columns the visible samples span: less than the plot's width when the view
    // reaches past either end of the record.
    const double xFirst = xOf(double(first) * s.tau0);
    const double xLast = xOf(double(last - 1) * s.tau0);
    const int columns = std::max(1, int(std::ceil(xLast - xFirst)));
    if (n <= columns) {
      QPolygonF line;
      line.reserve(int(n));
      for (int64_t i = first; i < last; ++i)
        line << QPointF(xOf(double(i) * s.tau0), yOf((*s.values)[i]));
      painter.drawPolyline(line);
      continue;
    }
    const analysis::Envelope e = analysis::MinMaxEnvelope(*s.values, first, last, columns);
    double prevLow = 0, prevHigh = 0;
    std::vector<QLineF> lines;
    lines.reserve(e.low.size());
    for (size_t b = 0; b < e.low.size(); ++b) {
      double lo = e.low[b], hi = e.high[b];
      if (b > 0) {
        lo = std::min(lo, prevHigh);
        hi = std::max(hi, prevLow);
      }
      prevLow = e.low[b];
      prevHigh = e.high[b];
      const double x = xFirst + double(b) + 0.5;
      lines.emplace_back(QPointF(x, yOf(lo)), QPointF(x, yOf(hi) - 0.01));
    }
    painter.drawLines(lines.data(), int(lines.size()));
  }
  painter.setClipping(false);

  // Legend, at the top of each channel's lane.
  std::vector<int> lx(laneCount, p.left() + 8);
  for (const auto& s : series_) {
    const size_t k = laneOf(s);
    const int top = laneArea(p, k).top();
    const QString label = s.units.isEmpty() ? s.name : s.name + " (" + s.units + ")";
    painter.fillRect(QRectF(lx[k], top + 6, 14, 3), s.color);
    painter.setPen(QColor(40, 44, 52));
    painter.drawText(QPointF(lx[k] + 18, top + 6 + fm.ascent() / 2.0), label);
    lx[k] += 30 + fm.horizontalAdvance(label);
  }
  painter.restore();
}

void LogPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  render(painter, rect());
  const QRect p = plotArea(rect());
  if (cursorX_ >= p.left() && cursorX_ <= p.right()) {
    painter.setPen(QPen(QColor(200, 40, 40, 160), 1.0, Qt::DashLine));
    painter.drawLine(cursorX_, p.top(), cursorX_, p.bottom());
  }
}

void LogPlot::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  const double factor = std::pow(1.25, steps);
  const QPointF at = event->position();
  if (event->modifiers() & Qt::ShiftModifier) {
    const QRect lane = laneArea(plotArea(rect()), laneAt(int(at.y())));
    changeValues(factor, (at.y() - lane.top()) / std::max(1, lane.height()), 0.0);
  } else {
    zoomTime(factor, timeAt(int(at.x())));
  }
  event->accept();
}

void LogPlot::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  dragFrom_ = event->position().toPoint();
  dragT0_ = t0_, dragT1_ = t1_;
  dragLanes_ = lanes_;
}

void LogPlot::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (dragging_) {
    const QRect p = plotArea(rect());
    const double dt = (dragT1_ - dragT0_) * double(at.x() - dragFrom_.x()) / std::max(1, p.width());
    if (dragLanes_.size() == lanes_.size()) {
      lanes_ = dragLanes_;
      const int laneHeight = laneArea(p, 0).height();
      changeValues(1.0, 0.0, double(at.y() - dragFrom_.y()) / std::max(1, laneHeight));
    }
    setTimeRange(dragT0_ - dt, dragT1_ - dt);
  }
  cursorX_ = at.x();
  update();
  emit cursorMoved(readOutAt(timeAt(at.x())));
}

void LogPlot::mouseReleaseEvent(QMouseEvent*) {
  dragging_ = false;
}

void LogPlot::leaveEvent(QEvent*) {
  cursorX_ = -1;
  update();
}

void LogPlot::keyPressEvent(QKeyEvent* event) {
  const double middle = (t0_ + t1_) / 2;
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      zoomTime(2.0, middle);
      break;
    case Qt::Key_Minus:
      zoomTime(0.5, middle);
      break;
    case Qt::Key_Left:
      panTime(-0.1);
      break;
    case Qt::Key_Right:
      panTime(0.1);
      break;
    case Qt::Key_Up:
      changeValues(1.0, 0.0, 0.1);
      break;
    case Qt::Key_Down:
      changeValues(1.0, 0.0, -0.1);
      break;
    case Qt::Key_Home:
      autoScale();
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace vexa::ui
