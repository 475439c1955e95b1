#pragma once

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

class QPainter;

namespace vexa::ui {

// One channel in a log-log panel: what was measured (markers, with optional confidence bars)
// and the model fitted to it (a line), with each of the model's terms as a labelled dashed line.
struct PanelSeries {
  QString name;  // the channel's caption ("X Gyro")
  QColor color;
  std::vector<QPointF> points;                  // measured (x, y), both above 0
  std::vector<std::pair<double, double>> bars;  // per point: low and high, or empty
  std::vector<QPointF> model;                   // the fitted model's curve
  struct Term {
    QString label;  // "N random walk"
    std::vector<QPointF> line;
  };
  std::vector<Term> terms;
};

// The channels of one kind (one unit): gyros in one panel, accelerometers in the next.
struct NoisePanel {
  QString unit;    // of the y values ("deg/sec", "mg/sqrt(Hz)")
  QString yTitle;  // "Allan deviation, deg/sec"
  std::vector<PanelSeries> series;
};

// Log-log panels stacked top to bottom, one per kind of channel, sharing the x axis.
// Mouse: the wheel zooms about the pointer (x in every panel, y in the panel under it),
// dragging pans, Home shows everything again; the pointer's position is read out as the
// x value and, per channel of the panel under it, the measured point nearest in x and the
// model's value there.
class NoisePanels : public QWidget {
  Q_OBJECT
 public:
  explicit NoisePanels(QString xTitle, QString xName, QString xUnit, QWidget* parent = nullptr);

  void setPanels(std::vector<NoisePanel> panels);
  const std::vector<NoisePanel>& panels() const { return panels_; }

  // Everything in view, in whole decades.
  void autoScale();
  // Zooms by `factor` (> 1 zooms in) about the point `at` of the widget.
  void zoomAt(double factor, QPointF at);
  // Decimal logarithms of the x range and of a panel's y range shown.
  std::pair<double, double> xView() const { return {x0_, x1_}; }
  std::pair<double, double> yView(size_t panel) const;

  QRect panelRect(const QRect& area, size_t panel) const;
  size_t panelAt(int y) const;
  // "tau = 1.00 s   X Gyro 0.0123 (model 0.0120) deg/sec": the read-out at `at`.
  QString readOutAt(QPointF at) const;

  void render(QPainter& painter, const QRect& area) const;

 signals:
  void cursorMoved(const QString& readOut);

 protected:
  void paintEvent(QPaintEvent*) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;

  // Drawn where no panel is (nothing computed yet).
  QString emptyText_ = "Nothing computed yet.";

 private:
  struct View {
    double y0 = -3, y1 = 0;  // log10
  };
  std::vector<NoisePanel> panels_;
  std::vector<View> views_;
  double x0_ = -2, x1_ = 2;  // log10
  QString xTitle_, xName_, xUnit_;
  bool dragging_ = false;
  QPointF dragFrom_;
  double dragX0_ = 0, dragX1_ = 0;
  View dragView_;
  size_t dragPanel_ = 0;
};

}  // namespace vexa::ui
