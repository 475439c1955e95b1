#include "ui/results/figure_plot.h"

#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "ui/analysis/log_plot.h"
#include "ui/services/region.h"

namespace vexa::ui {

namespace {
constexpr int kNameRow = 16;  // the row of unit names under the plot
constexpr int kLeft = 76;     // room for a value such as "-0,0001234"
}  // namespace

FigurePlot::FigurePlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(320, 180);
  setMouseTracking(true);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
}

void FigurePlot::setValues(std::vector<results::FigureValue> values, std::optional<double> limit) {
  values_ = std::move(values);
  limit_ = limit;
  update();
}

int FigurePlot::aboveLimit() const {
  if (!limit_) return 0;
  return static_cast<int>(std::count_if(values_.begin(), values_.end(),
                                        [&](const auto& v) { return v.value > *limit_; }));
}

QRectF FigurePlot::plotArea() const {
  return QRectF(rect()).adjusted(kLeft, 12, -12, -24 - kNameRow);
}

int FigurePlot::unitAt(const QPoint& at) const {
  const QRectF area = plotArea();
  if (values_.empty() || at.x() < area.left() || at.x() >= area.right() || at.y() < area.top() ||
      at.y() > area.bottom() + kNameRow)
    return -1;
  const double step = area.width() / static_cast<double>(values_.size());
  return std::clamp(static_cast<int>((at.x() - area.left()) / step), 0,
                    static_cast<int>(values_.size()) - 1);
}

QString FigurePlot::columnLabel(size_t index) const {
  const QString name = QString::fromStdString(values_.at(index).unit);
  const double step = plotArea().width() / static_cast<double>(values_.size());
  return fontMetrics().elidedText(name, Qt::ElideMiddle, static_cast<int>(step) - 4);
}

QString FigurePlot::pointText(size_t index) const {
  const auto& v = values_.at(index);
  const QLocale region = Region();
  QString text = QString::fromStdString(v.unit) + ": " + (v.resolved ? "" : "< ") +
                 region.toString(v.value, 'g', 4);
  if (v.resolved && std::isfinite(v.sigma) && v.sigma > 0)
    text += " +/- " + region.toString(v.sigma, 'g', 2);
  return text + " " + QString::fromStdString(v.valueUnit);
}

void FigurePlot::mouseMoveEvent(QMouseEvent* event) {
  const int i = unitAt(event->position().toPoint());
  setCursor(i >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
  QWidget::mouseMoveEvent(event);
}

void FigurePlot::mousePressEvent(QMouseEvent* event) {
  const int i = unitAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && i >= 0)
    emit unitClicked(QString::fromStdString(values_[static_cast<size_t>(i)].unit));
  QWidget::mousePressEvent(event);
}

bool FigurePlot::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int i = unitAt(help->pos());
    if (i >= 0)
      QToolTip::showText(help->globalPos(),
                         pointText(static_cast<size_t>(i)) + "\n(click: open the unit)", this);
    else
      QToolTip::hideText();
    return true;
  }
  return QWidget::event(event);
}

void FigurePlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF area = plotArea();
  p.setPen(palette().color(QPalette::Text));
  if (values_.empty()) {
    p.drawText(rect(), Qt::AlignCenter, "No values of this figure yet.");
    return;
  }
  double low = 0, high = 0;
  bool first = true;
  for (const auto& v : values_) {
    const double s = std::isfinite(v.sigma) ? std::abs(v.sigma) : 0;
    if (!std::isfinite(v.value)) continue;
    low = first ? v.value - s : std::min(low, v.value - s);
    high = first ? v.value + s : std::max(high, v.value + s);
    first = false;
  }
  if (limit_) {
    low = std::min(low, *limit_);
    high = std::max(high, *limit_);
  }
  if (high - low < 1e-12) high = low + 1;
  const double margin = (high - low) * 0.08;
  low -= margin;
  high += margin;
  const auto y = [&](double value) {
    return area.bottom() - (value - low) / (high - low) * area.height();
  };
  p.drawRect(area);
  // Round values, as many as fit one above the other.
  for (double value : ValueTicks(low, high, 4, std::max(4, static_cast<int>(area.height()) / 24)))
    p.drawText(QRectF(0, y(value) - 8, kLeft - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
               Region().toString(value, 'g', 4));
  const double columnWidth = area.width() / static_cast<double>(values_.size());
  for (size_t i = 0; i < values_.size(); ++i)
    p.drawText(QRectF(area.left() + columnWidth * static_cast<double>(i), area.bottom() + 2,
                      columnWidth, kNameRow),
               Qt::AlignCenter, columnLabel(i));
  p.drawText(QRectF(area.left(), area.bottom() + 4 + kNameRow, area.width(), 18), Qt::AlignCenter,
             QString("%1 units, in %2")
                 .arg(values_.size())
                 .arg(QString::fromStdString(values_.front().valueUnit)));
  const double step = area.width() / static_cast<double>(values_.size());
  for (size_t i = 0; i < values_.size(); ++i) {
    const auto& v = values_[i];
    if (!std::isfinite(v.value)) continue;
    const double x = area.left() + step * (static_cast<double>(i) + 0.5);
    const bool above = limit_ && v.value > *limit_;
    const QColor colour = above ? QColor("#c0392b") : QColor("#1f5fa8");
    p.setPen(QPen(colour, 1));
    if (std::isfinite(v.sigma) && v.sigma > 0)
      p.drawLine(QPointF(x, y(v.value - v.sigma)), QPointF(x, y(v.value + v.sigma)));
    p.setBrush(v.resolved ? QBrush(colour) : Qt::NoBrush);
    p.drawEllipse(QPointF(x, y(v.value)), 3, 3);
  }
  if (limit_) {
    p.setPen(QPen(QColor("#c0392b"), 1.5, Qt::DashLine));
    p.drawLine(QPointF(area.left(), y(*limit_)), QPointF(area.right(), y(*limit_)));
  }
}

}  // namespace vexa::ui
