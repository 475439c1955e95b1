#include "ui/analysis/log_plot.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "analysis/span_statistics.h"
#include "ui/services/region.h"

namespace vexa::ui {

namespace {

constexpr int kLeft = 72, kRight = 12, kTop = 6, kBottom = 34;
constexpr int kLaneGap = 8;
constexpr int kSwatch = 14, kEntryGap = 16;

// Enough decimals to tell ticks `step` apart (2.5 needs one more than 2), in the region's form.
QString tickText(double v, double step) {
  int decimals = std::max(0, int(-std::floor(std::log10(step) + 1e-9)));
  const double scaled = step * std::pow(10.0, decimals);
  if (std::fabs(scaled - std::round(scaled)) > 1e-6 * scaled) ++decimals;
  return Region().toString(v, 'f', std::min(decimals, 9));
}

QString legendLabel(const PlotSeries& s) {
  return s.units.isEmpty() ? s.name : s.name + " (" + s.units + ")";
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

std::vector<double> ValueTicks(double low, double high, int minTicks, int maxTicks) {
  std::vector<double> best;
  if (!(high > low) || !std::isfinite(high - low)) return best;
  const auto ticksOf = [&](double step) {
    std::vector<double> ticks;
    for (double t = std::ceil(low / step - 1e-9) * step; t <= high + step * 1e-9; t += step)
      ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
    return ticks;
  };
  // From a step as wide as the range down to finer ones: 1, 0.5, 0.25, 0.2 of each decade.
  static constexpr double kShares[] = {1, 0.5, 0.25, 0.2};
  const double decade = std::pow(10.0, std::ceil(std::log10(high - low)));
  for (int k = 0; k < 60; ++k) {
    const double step = decade * std::pow(10.0, -(k / 4)) * kShares[k % 4];
    auto ticks = ticksOf(step);
    if (int(ticks.size()) < minTicks) continue;
    if (int(ticks.size()) <= maxTicks || best.empty()) best = std::move(ticks);
    break;
  }
  return best;
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

QFont LogPlot::labelFont() const {
  QFont f = font();
  f.setPointSizeF(8.5);
  return f;
}

std::vector<std::vector<size_t>> LogPlot::legendLines(const QRect& area) const {
  const QFontMetrics fm(labelFont());
  const int width = area.width() - kLeft - kRight;
  std::vector<std::vector<size_t>> lines;
  int used = 0;
  for (size_t i = 0; i < series_.size(); ++i) {
    const int w = kSwatch + 4 + fm.horizontalAdvance(legendLabel(series_[i])) + kEntryGap;
    if (lines.empty() || (used + w > width && !lines.back().empty())) {
      lines.emplace_back();
      used = 0;
    }
    lines.back().push_back(i);
    used += w;
  }
  return lines;
}

QRect LogPlot::legendRect(const QRect& area) const {
  const int lines = int(legendLines(area).size());
  const int h = lines * (QFontMetrics(labelFont()).height() + 2);
  return QRect(area.left() + kLeft, area.top() + kTop, area.width() - kLeft - kRight, h);
}

QRect LogPlot::plotArea(const QRect& area) const {
  const QRect legend = legendRect(area);
  const int top = legend.height() > 0 ? legend.bottom() + 1 + kTop : area.top() + kTop;
  return QRect(QPoint(area.left() + kLeft, top),
               QPoint(area.right() - kRight, area.bottom() - kBottom));
}

QRect LogPlot::laneRect(const QRect& area, size_t lane) const {
  return laneArea(plotArea(area), lane);
}

std::vector<LogPlot::Tick> LogPlot::laneTicks(const QRect& area, size_t lane) const {
  std::vector<Tick> ticks;
  const QRect r = laneRect(area, lane);
  const Lane range = lane < lanes_.size() ? lanes_[lane] : Lane{};
  // As many labels as fit one above the other, never fewer than four.
  const int fit = r.height() / (QFontMetrics(labelFont()).height() + 2);
  const auto values = ValueTicks(range.y0, range.y1, 4, std::max(4, fit));
  const double step = values.size() > 1 ? values[1] - values[0] : 1.0;
  for (double v : values) ticks.push_back({v, tickText(v, step)});
  return ticks;
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
  const QLocale region = Region();
  QString text = "t = " + region.toString(t, 'f', 4) + " s";
  for (const auto& s : series_) {
    if (!s.values || s.values->empty()) continue;
    const int64_t i = std::llround(t / s.tau0);
    if (i < 0 || i >= int64_t(s.values->size())) continue;
    text += QString("   %1 %2 %3").arg(s.name, region.toString((*s.values)[i], 'g', 7), s.units);
  }
  return text;
}

void LogPlot::render(QPainter& painter, const QRect& area) const {
  const QRect p = plotArea(area);
  painter.save();
  painter.fillRect(area, Qt::white);
  painter.setPen(QColor(90, 96, 105));
  const QFont font = labelFont();
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
    for (const Tick& tick : laneTicks(area, k)) {
      const double y = yOf(tick.value);
      painter.setPen(QColor(228, 231, 235));
      painter.drawLine(QPointF(lane.left(), y), QPointF(lane.right(), y));
      painter.setPen(QColor(60, 66, 75));
      const QString& s = tick.label;
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

  // Legend, above the lanes: each channel with its unit, in as many lines as it needs.
  const QRect legend = legendRect(area);
  int y = legend.top();
  for (const auto& line : legendLines(area)) {
    int x = legend.left();
    for (size_t i : line) {
      const QString label = legendLabel(series_[i]);
      painter.fillRect(QRectF(x, y + fm.height() / 2.0 - 1, kSwatch, 3), series_[i].color);
      painter.setPen(QColor(40, 44, 52));
      painter.drawText(QPointF(x + kSwatch + 4, y + fm.ascent()), label);
      x += kSwatch + 4 + fm.horizontalAdvance(label) + kEntryGap;
    }
    y += fm.height() + 2;
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
