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
  // The value range of one lane (the first by default).
  void setValueRange(double low, double high, size_t lane = 0);
  std::pair<double, double> timeRange() const { return {t0_, t1_}; }
  std::pair<double, double> valueRange(size_t lane = 0) const;
  // The units of each lane, top to bottom.
  QStringList laneUnits() const;
  // Where `render` into `area` puts the legend (one line or more above the lanes, so it
  // covers no trace) and each lane.
  QRect legendRect(const QRect& area) const;
  QRect laneRect(const QRect& area, size_t lane) const;
  // The labelled ticks of a lane's value axis as `render` into `area` draws them: at least
  // four however short the lane, with labels in the region's number form.
  struct Tick {
    double value;
    QString label;
  };
  std::vector<Tick> laneTicks(const QRect& area, size_t lane) const;
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
  // Channels of one unit share a lane with its own value axis, so an accelerometer in g is not
  // a flat line beside a magnetometer in mG. Lanes are stacked top to bottom in the order
  // their units first appear.
  struct Lane {
    QString units;
    double y0 = -1.0, y1 = 1.0;
  };
  QRect plotArea(const QRect& area) const;
  QFont labelFont() const;
  // The legend's entries as lines that fit the width of `area`.
  std::vector<std::vector<size_t>> legendLines(const QRect& area) const;
  QRect laneArea(const QRect& plot, size_t lane) const;
  size_t laneOf(const PlotSeries& s) const;
  size_t laneAt(int y) const;
  double timeAt(int x) const;
  // Moves every lane's value range: zoom by `factor` about the same share of each lane's
  // height (0 top, 1 bottom), then shift by `shift` of each lane's span (+ to higher values).
  void changeValues(double factor, double share, double shift);

  std::vector<PlotSeries> series_;
  std::vector<Lane> lanes_;
  double t0_ = 0.0, t1_ = 1.0;
  bool dragging_ = false;
  QPoint dragFrom_;
  double dragT0_ = 0.0, dragT1_ = 0.0;
  std::vector<Lane> dragLanes_;
  int cursorX_ = -1;
};

// Ticks for an axis from `low` to `high`: round steps of 1, 2 or 5 times a power of ten.
std::vector<double> NiceTicks(double low, double high, int maxTicks);
// Ticks for a value axis: the coarsest round step (1, 2, 2.5 or 5 times a power of ten) that
// gives at least `minTicks` and at most `maxTicks` ticks within [low, high]; when no step
// gives both, the coarsest that gives `minTicks`.
std::vector<double> ValueTicks(double low, double high, int minTicks, int maxTicks);

}  // namespace vexa::ui
