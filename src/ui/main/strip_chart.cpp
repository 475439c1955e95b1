#include "ui/main/strip_chart.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

namespace vexa::ui {

namespace {

constexpr double kMarginLeft = 1;
constexpr double kMarginTop = 7;
constexpr double kMarginRight = 14;
constexpr int kTickStep = 50;
// One device pixel, antialiased: the painter's fast line path. A wider pen goes through the
// general stroker, which costs several times as much per segment, and every sample of the read
// loop draws nine segments.
constexpr double kPenWidth = 1.0;
// Far beyond the edges; keeps a wild value from overflowing the painter.
constexpr double kFractionLimit = 1000;

const QColor kChartBackground(255, 255, 255);
const QColor kCursorMark(215, 215, 215);
const QColor kGrid(232, 235, 240);
const QColor kGridMiddle(200, 205, 214);
const QColor kBorder(140, 146, 156);

double fractionOf(double value, double high, double low) {
  const double f = (high - value) / (high - low);
  return std::clamp(f, -kFractionLimit, kFractionLimit);
}

}  // namespace

StripChart::StripChart(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setCursor(Qt::CrossCursor);
  colours_ = {QColor(200, 0, 0), QColor(0, 150, 0), QColor(0, 0, 150)};
  repaintTimer_.setSingleShot(true);
  connect(&repaintTimer_, &QTimer::timeout, this, [this] { flushRepaint(); });
}

void StripChart::setTraceColour(int channel, const QColor& colour) {
  colours_[channel] = colour;
  traces_ = QImage();  // redraw in the new colour at the next paint
  update();
}

void StripChart::setScale(double high, double low) {
  high_ = high;
  low_ = low;
}

QRectF StripChart::plotRect() const {
  const double bottom = fontMetrics().height() + 6;
  return QRectF(kMarginLeft, kMarginTop, std::max(1.0, width() - kMarginLeft - kMarginRight),
                std::max(1.0, height() - kMarginTop - bottom));
}

double StripChart::unitX(double x) const {
  return x * plotRect().width() / kWidthUnits;
}

QPointF StripChart::chartPoint(const QPointF& widgetPos) const {
  const QRectF plot = plotRect();
  const double x = (widgetPos.x() - plot.left()) * kWidthUnits / plot.width();
  const double y = high_ - (widgetPos.y() - plot.top()) * (high_ - low_) / plot.height();
  return {x, y};
}

void StripChart::addSample(const std::array<float, kChannels>& values,
                           const std::array<bool, kChannels>& drawn, double& hiPk, double& lowPk) {
  initialised_ = true;
  if (hiPk - lowPk == 0) lowPk = -1;
  high_ = hiPk;
  low_ = lowPk;

  ++cursor_;
  if (cursor_ > kWidthUnits) {
    cursor_ = 0;
    previousX_ = 0;
  }
  const int x = cursor_;

  // Erase the column ahead: the old sweep's segments that end at x and at x + 1.
  slots_[x].clear();
  slots_[x + 1].clear();
  mark_ = x + 1;

  std::vector<Segment>& now = slots_[x];
  for (int k = 0; k < kChannels; ++k) {
    if (!drawn[k]) continue;
    now.push_back({k, previousX_, x, fractionOf(previous_[k], high_, low_),
                   fractionOf(values[k], high_, low_)});
  }
  for (int k = 0; k < kChannels; ++k) previous_[k] = values[k];
  previousX_ = x;

  // The image is brought up to date at the next paint, and paints come at most once per frame
  // of the screen: a loop that adds samples faster than that costs no drawing in between.
  if (!imageCurrent() || pending_.size() > kWidthUnits) {
    traces_ = QImage();
    pending_.clear();
    requestRepaint(rect());
    return;
  }
  pending_.push_back(x);
  // Only the strip that changed: the new segment, the erased column and the old and new marks.
  const QRectF plot = plotRect();
  const int from = std::min(x == 0 ? 0 : x - 1, now.empty() ? x : now.front().x0);
  const double left = plot.left() + unitX(from) - 3;
  const double right = plot.left() + unitX(x + 2) + 3;
  requestRepaint(QRectF(left, plot.top() - 1, right - left, plot.height() + 2).toAlignedRect());
}

double StripChart::frameSeconds() const {
  const QScreen* s = screen();
  const double hz = s != nullptr ? s->refreshRate() : 0;
  return hz >= 1 ? 1.0 / hz : 1.0 / 60;
}

void StripChart::requestRepaint(const QRect& area) {
  dirty_ |= area;
  if (repaintTimer_.isActive()) return;
  const auto frameMs = static_cast<qint64>(std::ceil(frameSeconds() * 1000));
  const qint64 since = lastRepaint_.isValid() ? lastRepaint_.elapsed() : frameMs;
  if (since >= frameMs) {
    flushRepaint();
  } else {
    repaintTimer_.start(static_cast<int>(frameMs - since));
  }
}

void StripChart::flushRepaint() {
  if (!dirty_.isEmpty()) update(dirty_);
  dirty_ = QRect();
  lastRepaint_.start();
}

void StripChart::paintPending() {
  if (pending_.empty()) return;
  // Clearing the columns straight in the image's memory: the painter's clear composition on a
  // column the height of the chart costs more than all the lines together.
  for (int x : pending_) eraseColumn(x);
  // Consecutive columns go out as one polyline per channel, not one stroke per segment.
  QPainter painter(&traces_);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const double h = plotRect().height();
  size_t begin = 0;
  while (begin < pending_.size()) {
    size_t end = begin + 1;
    while (end < pending_.size() && pending_[end] == pending_[end - 1] + 1) ++end;
    for (int k = 0; k < kChannels; ++k) {
      QPolygonF line;
      const auto flush = [&] {
        if (line.size() >= 2) {
          QPen pen(colours_[k], kPenWidth);
          pen.setCosmetic(true);
          painter.setPen(pen);
          painter.drawPolyline(line);
        }
        line.clear();
      };
      for (size_t i = begin; i < end; ++i) {
        for (const Segment& seg : slots_[pending_[i]]) {
          if (seg.channel != k) continue;
          const QPointF from(unitX(seg.x0), seg.f0 * h), to(unitX(seg.x1), seg.f1 * h);
          if (line.isEmpty() || line.back() != from) {
            flush();
            line << from;
          }
          line << to;
        }
      }
      flush();
    }
    begin = end;
  }
  pending_.clear();
}

bool StripChart::imageCurrent() const {
  const qreal dpr = devicePixelRatioF();
  const QSizeF logical = plotRect().size();
  const QSize wanted(static_cast<int>(std::ceil(logical.width() * dpr)),
                     static_cast<int>(std::ceil(logical.height() * dpr)));
  return !traces_.isNull() && traces_.size() == wanted && traces_.devicePixelRatio() == dpr;
}

void StripChart::rebuildImage() {
  const qreal dpr = devicePixelRatioF();
  const QSizeF logical = plotRect().size();
  traces_ = QImage(static_cast<int>(std::ceil(logical.width() * dpr)),
                   static_cast<int>(std::ceil(logical.height() * dpr)),
                   QImage::Format_ARGB32_Premultiplied);
  traces_.setDevicePixelRatio(dpr);
  traces_.fill(Qt::transparent);
  pending_.clear();
  QPainter painter(&traces_);
  for (const auto& segments : slots_) paintSegments(painter, segments);
}

void StripChart::eraseColumn(int x) {
  const qreal dpr = traces_.devicePixelRatio();
  const int left = std::clamp(static_cast<int>(std::floor(unitX(x) * dpr)), 0, traces_.width());
  const int right =
      std::clamp(static_cast<int>(std::ceil(unitX(x + 1) * dpr)), left, traces_.width());
  if (right == left) return;
  const size_t bytes = static_cast<size_t>(right - left) * 4;  // 32-bit pixels
  for (int y = 0; y < traces_.height(); ++y)
    std::memset(traces_.scanLine(y) + static_cast<size_t>(left) * 4, 0, bytes);
}

void StripChart::paintSegments(QPainter& painter, const std::vector<Segment>& segments) const {
  if (segments.empty()) return;
  const double h = plotRect().height();
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (const Segment& s : segments) {
    QPen pen(colours_[s.channel], kPenWidth);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawLine(QPointF(unitX(s.x0), s.f0 * h), QPointF(unitX(s.x1), s.f1 * h));
  }
}

void StripChart::paintEvent(QPaintEvent* event) {
  if (!imageCurrent())
    rebuildImage();
  else
    paintPending();
  QPainter p(this);
  p.setClipRect(event->rect());
  p.fillRect(rect(), palette().color(QPalette::Window));
  const QRectF plot = plotRect();
  p.fillRect(plot, kChartBackground);

  // Grid: every 50 samples, and the quarters of the full scale with a stronger middle line.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(kGrid, 0));
  for (int x = kTickStep; x < kWidthUnits; x += kTickStep) {
    const double px = plot.left() + unitX(x);
    p.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
  }
  for (int q = 1; q < 4; ++q) {
    const double py = plot.top() + plot.height() * q / 4.0;
    p.setPen(QPen(q == 2 ? kGridMiddle : kGrid, 0));
    p.drawLine(QPointF(plot.left(), py), QPointF(plot.right(), py));
  }

  // Only the part of the traces that is being repainted: a paint of a new strip blends a strip.
  const QRectF area = QRectF(event->rect()).intersected(plot);
  if (!area.isEmpty()) {
    const qreal dpr = traces_.devicePixelRatio();
    const QRectF source((area.left() - plot.left()) * dpr, (area.top() - plot.top()) * dpr,
                        area.width() * dpr, area.height() * dpr);
    p.drawImage(area, traces_, source);
  }

  if (mark_ >= 0 && mark_ <= kWidthUnits) {
    p.setPen(QPen(kCursorMark, 1.0));
    const double px = plot.left() + unitX(mark_);
    p.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
  }

  p.setPen(QPen(kBorder, 0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(plot);

  // Sample numbers under the x axis.
  if (!event->rect().intersects(QRectF(0, plot.bottom() + 1, width(), height()).toAlignedRect()))
    return;
  p.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics fm = fontMetrics();
  for (int x = 0; x <= kWidthUnits; x += kTickStep) {
    const double px = plot.left() + unitX(x);
    p.setPen(QPen(kBorder, 0));
    p.drawLine(QPointF(px, plot.bottom()), QPointF(px, plot.bottom() + 3));
    const QString text = QString::number(x);
    const double w = fm.horizontalAdvance(text);
    double left = px - w / 2;
    left = std::clamp(left, 0.0, width() - w);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QPointF(left, plot.bottom() + 4 + fm.ascent()), text);
  }
}

void StripChart::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  traces_ = QImage();
}

// A move to a screen of another density is caught by imageCurrent() at the next paint.
void StripChart::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) traces_ = QImage();
  QWidget::changeEvent(event);
}

void StripChart::mouseMoveEvent(QMouseEvent* event) {
  // Over the margins and the sample numbers there is nothing to read.
  if (plotRect().contains(event->position())) {
    const QPointF c = chartPoint(event->position());
    emit pointerMoved(c.x(), c.y());
  }
  QWidget::mouseMoveEvent(event);
}

ScaleAxis::ScaleAxis(StripChart* chart, QLabel* top, QLabel* middle, QLabel* bottom,
                     QWidget* parent)
    : QWidget(parent), chart_(chart), labels_{top, middle, bottom} {
  for (QLabel* label : labels_) {
    label->setParent(this);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  chart_->installEventFilter(this);
}

QSize ScaleAxis::sizeHint() const {
  return {fontMetrics().horizontalAdvance("-2500.0") + 6, 60};
}

bool ScaleAxis::eventFilter(QObject* watched, QEvent* event) {
  if (watched == chart_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
    place();
  return QWidget::eventFilter(watched, event);
}

void ScaleAxis::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place();
}

void ScaleAxis::place() {
  const QRectF plot = chart_->plotRect();
  const double offset =
      chart_->mapTo(window(), QPoint(0, 0)).y() - mapTo(window(), QPoint(0, 0)).y();
  const double ys[3] = {plot.top(), plot.center().y(), plot.bottom()};
  const int h = fontMetrics().height() + 2;
  for (int i = 0; i < 3; ++i) {
    const int y = static_cast<int>(std::lround(offset + ys[i] - h / 2.0));
    labels_[i]->setGeometry(0, std::clamp(y, 0, std::max(0, height() - h)), width() - 4, h);
  }
}

}  // namespace vexa::ui
