#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <utility>
#include <vector>

class QPainter;

namespace vexa::ui {

// One channel drawn against time: sample i at i * tau0 seconds.
struct PlotSeries {
  QString name;
  QString units;
  const std::vector<double>* values = nullptr;
  double tau0 = 1.0;
  QColor color;
};

// A time plot of log channels that stays quick with millions of samples: each pixel column
// draws the lowest and highest sample it covers, so no peak is lost at any zoom.
// Mouse: wheel zooms time about the pointer (with Shift the value axis), dragging pans.
// Keys: + and - zoom time, arrows pan, Home auto-scales. The pointer shows a cursor line.
class LogPlot : public QWidget {
  Q_OBJECT
 public:
  explicit LogPlot(QWidget* parent = nullptr);

  void setSeries(std::vector<PlotSeries> series);
  const std::vector<PlotSeries>& series() const { return series_; }

  // Whole record in time, values of the visible span with a margin.
  void autoScale();
  void setTimeRange(double from, double to);
  void setValueRange(double low, double high);
  std::pair<double, double> timeRange() const { return {t0_, t1_}; }
  std::pair<double, double> valueRange() const { return {y0_, y1_}; }
  // Samples [first, last) of a series that the time range shows.
  std::pair<int64_t, int64_t> visibleSamples(const PlotSeries& s) const;

  // Zooms time by `factor` (> 1 zooms in) about time `at`.
  void zoomTime(double factor, double at);
  void panTime(double share);  // share of the visible span, + to later times

  // Draws the plot into `area` of any painter: the screen, an image, an SVG file.
  void render(QPainter& painter, const QRect& area) const;

  // The read-out at time t: "t = 12.345 s   X Gryo 0.35 deg/sec ...".
  QString readOutAt(double t) const;

 signals:
  void viewChanged();
  void cursorMoved(const QString& readOut);

 protected:
  void paintEvent(QPaintEvent*) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent*) override;

 private:
  QRect plotArea(const QRect& area) const;
  double timeAt(int x) const;
  double valueAt(int y) const;

  std::vector<PlotSeries> series_;
  double t0_ = 0.0, t1_ = 1.0, y0_ = -1.0, y1_ = 1.0;
  bool dragging_ = false;
  QPoint dragFrom_;
  double dragT0_ = 0.0, dragT1_ = 0.0, dragY0_ = 0.0, dragY1_ = 0.0;
  int cursorX_ = -1;
};

// Ticks for an axis from `low` to `high`: round steps of 1, 2 or 5 times a power of ten.
std::vector<double> NiceTicks(double low, double high, int maxTicks);

}  // namespace vexa::ui
