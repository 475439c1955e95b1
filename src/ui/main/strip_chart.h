#pragma once

#include <array>
#include <vector>

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

class QLabel;

namespace vexa::ui {

// One sweeping strip chart of three traces (X, Y, Z). The chart is never scrolled: each sample
// is drawn at a cursor that moves one unit right per sample over x = 0 .. 350 and wraps to the
// left edge, erasing one column ahead of itself, with a grey mark one unit ahead of the newest
// sample. y runs from the full-scale high at the top edge to the low at the bottom; values
// outside are clipped by the chart.
//
// The chart keeps the segments that are visible, one slot per x, in fractions of the height
// at which they were drawn, and paints them into an off-screen image at the screen's device
// pixel ratio; a resize or a move to a denser screen redraws the image from the slots, so the
// traces stay crisp.
//
// Every sample goes into the slots at once, but the drawing follows the screen: new columns are
// painted into the image when the chart is painted, and the chart asks for a paint at most once
// per refresh of its screen (a timer brings the last request in), so a read loop that adds
// hundreds of samples a second draws only what can be seen.
class StripChart : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidthUnits = 350;
  static constexpr int kChannels = 3;

  struct Segment {
    int channel;
    int x0, x1;
    double f0, f1;  // 0 at the top edge, 1 at the bottom, as drawn
  };

  explicit StripChart(QWidget* parent = nullptr);

  void setTraceColour(int channel, const QColor& colour);
  QColor traceColour(int channel) const { return colours_[channel]; }
  // The coordinate system used before the first sample, for the pointer read-out.
  void setScale(double high, double low);

  // Adds one sample. `hiPk` and `lowPk` are the chart's full scale; a zero span sets `lowPk`
  // to -1, as the caller's value. `drawn[k]` tells whether channel k's trace is drawn.
  void addSample(const std::array<float, kChannels>& values,
                 const std::array<bool, kChannels>& drawn, double& hiPk, double& lowPk);

  int cursor() const { return cursor_; }
  int previousX() const { return previousX_; }
  float previousValue(int channel) const { return previous_[channel]; }
  bool initialised() const { return initialised_; }
  // x of the grey cursor mark, -1 before the first sample.
  int cursorMark() const { return mark_; }
  const std::vector<Segment>& slot(int x) const { return slots_[x]; }
  double high() const { return high_; }
  double low() const { return low_; }

  // Chart units under a widget position: x in 0 .. 350, y in the current full scale.
  QPointF chartPoint(const QPointF& widgetPos) const;
  // The drawable area in widget coordinates.
  QRectF plotRect() const;

  QSize sizeHint() const override { return {720, 190}; }
  QSize minimumSizeHint() const override { return {380, 110}; }

 signals:
  // The pointer moved over the plot area (not the margins or the axis), in chart units.
  void pointerMoved(double x, double y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  double unitX(double x) const;  // chart x to image x (logical pixels)
  void rebuildImage();
  bool imageCurrent() const;
  void paintSegments(QPainter& painter, const std::vector<Segment>& segments) const;
  // Makes column x of the image transparent again.
  void eraseColumn(int x);
  // Paints the columns added since the last paint into the image, in the order they came.
  void paintPending();
  // Asks for a paint of `area` now, or at the screen's next frame if one was asked for within
  // the current frame.
  void requestRepaint(const QRect& area);
  void flushRepaint();
  double frameSeconds() const;

  std::array<QColor, kChannels> colours_{};
  std::array<float, kChannels> previous_{};
  std::array<std::vector<Segment>, kWidthUnits + 2> slots_{};
  int cursor_ = 0;
  int previousX_ = 0;
  int mark_ = -1;
  bool initialised_ = false;
  double high_ = 1;
  double low_ = -1;
  QImage traces_;             // transparent except for the traces, covers plotRect()
  std::vector<int> pending_;  // columns added but not yet painted into traces_
  QRect dirty_;               // area asked to be repainted, not yet handed to update()
  QElapsedTimer lastRepaint_;
  QTimer repaintTimer_;
};

// The three scale labels of a chart (bottom, middle, top), kept level with the chart's bottom
// edge, middle and top edge.
class ScaleAxis : public QWidget {
  Q_OBJECT

 public:
  ScaleAxis(StripChart* chart, QLabel* top, QLabel* middle, QLabel* bottom,
            QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void place();
  StripChart* chart_;
  std::array<QLabel*, 3> labels_;
};

}  // namespace vexa::ui
