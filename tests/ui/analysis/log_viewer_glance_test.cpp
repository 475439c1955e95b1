// The log viewer read at a glance: axes that can be read, a legend over no data, read-outs
// that belong to the file shown, and a rate field that says what it is.

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QWheelEvent>
#include <cmath>

#include <set>

#include "analysis/log_text.h"
#include "sim/sensor_random.h"
#include "support/sim_world.h"
#include "ui/analysis/allan_plot.h"
#include "ui/analysis/density_plot.h"
#include "ui/analysis/frm_log_viewer.h"
#include "ui/analysis/log_plot.h"

#include <gtest/gtest.h>

namespace vexa::ui::testing {
namespace {

// A still gyro (a bias of -0.3 deg/s), an accelerometer near 1 g and a slow temperature, 100 Hz.
std::string WriteThreeKinds(const std::string& folder, const std::string& name,
                            int samples = 3000) {
  sim::SensorRandom random(7);
  vexa::testing::LogColumn gyro{"XgND", "X Gryo", {}, {}};
  vexa::testing::LogColumn accel{"XaND", "X acc", {}, {}};
  vexa::testing::LogColumn temp{"TND", "Temp", {}, {}};
  for (int i = 0; i < samples; ++i) {
    gyro.values.push_back(-0.3 + 8.0 * random.gaussian());
    accel.values.push_back(1.0 + 0.002 * random.gaussian());
    temp.values.push_back(25.0 + i * 1e-4);
  }
  const std::string path = folder + "/" + name;
  vexa::testing::WriteText(
      path, vexa::testing::LogText(name, {gyro, accel, temp}, 100.0, 100.0 + samples / 100.0));
  return path;
}

class LogViewerAtAGlance : public ::testing::Test {
 protected:
  LogViewerAtAGlance() : viewer(world.ctx) {
    viewer.resize(1024, 740);
    viewer.show();
  }
  void check(int channels) {
    auto* list = viewer.findChild<QListWidget*>("lstChannels");
    for (int i = 0; i < list->count(); ++i)
      list->item(i)->setCheckState(i < channels ? Qt::Checked : Qt::Unchecked);
  }
  QImage rendered() {
    QImage image(viewer.plot().size(), QImage::Format_RGB32);
    QPainter painter(&image);
    viewer.plot().render(painter, image.rect());
    return image;
  }

  vexa::testing::SimWorld world;
  frmLogViewer viewer;
};

TEST_F(LogViewerAtAGlance, EveryLaneHasFourReadableTicksAndTheLegendCoversNoLane) {
  ASSERT_TRUE(
      viewer.openFiles({QString::fromStdString(WriteThreeKinds(world.folder(), "K_1.csv"))}));
  const int textHeight = QFontMetrics(viewer.plot().font()).height() * 85 / 100;
  for (int channels : {1, 2, 3}) {
    SCOPED_TRACE(channels);
    check(channels);
    const QRect area = viewer.plot().rect();
    ASSERT_EQ(viewer.plot().laneUnits().size(), channels);
    for (size_t lane = 0; lane < size_t(channels); ++lane) {
      const auto ticks = viewer.plot().laneTicks(area, lane);
      EXPECT_GE(ticks.size(), 4u) << "lane " << lane;
      std::set<QString> labels;
      for (const auto& t : ticks) labels.insert(t.label);
      EXPECT_EQ(labels.size(), ticks.size()) << "labels that tell the ticks apart";
      const auto [low, high] = viewer.plot().valueRange(lane);
      const QRect r = viewer.plot().laneRect(area, lane);
      for (const auto& t : ticks) EXPECT_TRUE(t.value >= low && t.value <= high) << t.value;
      if (ticks.size() > 1) {
        EXPECT_GE((ticks[1].value - ticks[0].value) / (high - low) * r.height(), textHeight)
            << "labels one above the other without overlapping";
      }
    }
    // The legend's text (its own colour) lies above the lanes, never over a trace.
    const QImage image = rendered();
    const QRgb legendInk = qRgb(40, 44, 52);
    int inkAbove = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) != legendInk) continue;
        for (size_t lane = 0; lane < size_t(channels); ++lane)
          EXPECT_FALSE(viewer.plot().laneRect(area, lane).adjusted(1, 1, -1, -1).contains(x, y))
              << "legend ink at " << x << "," << y << " in lane " << lane;
        inkAbove += y < viewer.plot().laneRect(area, 0).top();
      }
    EXPECT_GT(inkAbove, 0) << "the legend is drawn";
  }
}

TEST(ValueTicks, AtLeastTheAskedCountOnRoundStepsWithinTheRange) {
  struct Case {
    double low, high;
    int minTicks, maxTicks;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {-25.0, 5.0, 4, 4, {-25, -20, -15, -10, -5, 0, 5}},  // none gives 4 to 4: the coarsest with 4
      {-25.0, 5.0, 3, 8, {-20, -10, 0}},
      {24.9, 25.4, 4, 6, {24.9, 25.0, 25.1, 25.2, 25.3, 25.4}},
      {0.99, 1.01, 4, 6, {0.99, 0.995, 1.0, 1.005, 1.01}},
      {0.0, 1.0, 4, 10, {0.0, 0.25, 0.5, 0.75, 1.0}},
  };
  for (const Case& c : cases) {
    const auto ticks = ValueTicks(c.low, c.high, c.minTicks, c.maxTicks);
    ASSERT_EQ(ticks.size(), c.expected.size()) << c.low << ".." << c.high;
    for (size_t i = 0; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i], c.expected[i], 1e-9);
  }
}

TEST_F(LogViewerAtAGlance, OpeningAnotherFileClearsTheCursorReadOut) {
  ASSERT_TRUE(
      viewer.openFiles({QString::fromStdString(WriteThreeKinds(world.folder(), "A_1.csv"))}));
  auto* readOut = viewer.findChild<QLabel*>("lblCursor");
  const QPoint at = viewer.plot().laneRect(viewer.plot().rect(), 0).center();
  QMouseEvent move(QEvent::MouseMove, at, viewer.plot().mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&viewer.plot(), &move);
  ASSERT_TRUE(readOut->text().contains("X Gyro")) << readOut->text().toStdString();
  ASSERT_TRUE(
      viewer.openFiles({QString::fromStdString(WriteThreeKinds(world.folder(), "B_1.csv", 500))}));
  EXPECT_TRUE(readOut->text().trimmed().isEmpty()) << readOut->text().toStdString();
  // Ticking another channel changes what the line would read: cleared too.
  QApplication::sendEvent(&viewer.plot(), &move);
  ASSERT_FALSE(readOut->text().trimmed().isEmpty());
  check(2);
  EXPECT_TRUE(readOut->text().trimmed().isEmpty()) << readOut->text().toStdString();
}

TEST_F(LogViewerAtAGlance, TheReadsPerSecondFieldShowsTheFilesRateAndWarnsWhenFarFromIt) {
  ASSERT_TRUE(
      viewer.openFiles({QString::fromStdString(WriteThreeKinds(world.folder(), "R_1.csv"))}));
  auto* rate = viewer.findChild<QLineEdit*>("txtRate");
  auto* caption = viewer.findChild<QLabel*>("lblRate");
  auto* files = viewer.findChild<QLabel*>("lblFilesRate");
  auto* warning = viewer.findChild<QLabel*>("lblRateWarning");
  ASSERT_TRUE(caption && files && warning);
  EXPECT_EQ(caption->text(), "Reads per second");
  EXPECT_TRUE(files->text().contains("100")) << files->text().toStdString();
  struct Case {
    const char* typed;
    bool warned;
  };
  for (const Case c : {Case{"", false}, Case{"100", false}, Case{"109", false}, Case{"91", false},
                       Case{"52.8", true}, Case{"111", true}, Case{"89", true}}) {
    rate->setText(c.typed);
    emit rate->editingFinished();
    EXPECT_EQ(!warning->isHidden(), c.warned) << c.typed;
    if (c.warned) {
      EXPECT_TRUE(warning->text().contains("100")) << warning->text().toStdString();
    }
  }
  // A record whose files cannot tell their rate says so instead.
  rate->setText("");
  const std::string bare = world.folder() + "/U_1.csv";
  vexa::testing::LogColumn gyro{"XgND", "X Gryo", {1.0, 2.0, 3.0}, {}};
  vexa::testing::WriteText(bare, vexa::testing::LogText("U_1.csv", {gyro}, 100.0, 100.0));
  ASSERT_TRUE(viewer.openFiles({QString::fromStdString(bare)}));
  EXPECT_TRUE(files->text().contains("not")) << files->text().toStdString();
}

// The figures with their uncertainties and units are long: at 1024 px every cell and heading
// shows its whole text (wrapped where it must), and the tooltip holds it too.
TEST_F(LogViewerAtAGlance, TheNoiseFiguresTableClipsNoText) {
  ASSERT_TRUE(viewer.openFiles(
      {QString::fromStdString(WriteThreeKinds(world.folder(), "N_1.csv", 20000))}));
  check(2);
  viewer.findChild<QTabWidget*>("tabViews")->setCurrentIndex(2);
  viewer.computeAllan();
  viewer.finishAllanNow();
  auto* table = viewer.findChild<QTableWidget*>("tblNoiseModel");
  ASSERT_EQ(table->rowCount(), 2);
  const QFontMetrics fm(table->font());
  const auto fits = [&](const QString& text, int width, int height) {
    const QRect needed = fm.boundingRect(QRect(0, 0, width - 8, 10000), Qt::TextWordWrap, text);
    return needed.width() <= width - 6 && needed.height() <= height;
  };
  for (int c = 0; c < table->columnCount(); ++c) {
    const QString heading = table->horizontalHeaderItem(c)->text();
    for (const QString& line : heading.split('\n'))
      EXPECT_LE(fm.horizontalAdvance(line) + 8, table->columnWidth(c)) << heading.toStdString();
    for (int r = 0; r < table->rowCount(); ++r) {
      const QTableWidgetItem* item = table->item(r, c);
      EXPECT_TRUE(fits(item->text(), table->columnWidth(c), table->rowHeight(r)))
          << item->text().toStdString() << " in " << table->columnWidth(c) << "x"
          << table->rowHeight(r);
      EXPECT_EQ(item->toolTip(), item->text());
    }
  }
  EXPECT_EQ(table->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive)
      << "the user can widen a column";
}

// A gyro and an accelerometer analysed together: a panel each, in its own unit, the
// accelerometer's density in the table's mg/sqrt(Hz); markers for what was measured, a line for
// the model, each term labelled; a read-out under the pointer and zoom on both plots.
TEST_F(LogViewerAtAGlance, AllanAndDensityPlotsGiveEachKindItsPanelAndUnit) {
  ASSERT_TRUE(viewer.openFiles(
      {QString::fromStdString(WriteThreeKinds(world.folder(), "P_1.csv", 20000))}));
  check(2);
  viewer.computeAllan();
  viewer.finishAllanNow();
  struct Case {
    NoisePanels* plot;
    QStringList units;
    const char* readOutLabel;
  };
  const Case cases[] = {
      {&viewer.allanPlot(), {"deg/sec", "g"}, "lblAllanCursor"},
      {&viewer.densityPlot(), {"deg/s/sqrt(Hz)", "mg/sqrt(Hz)"}, "lblDensityCursor"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.readOutLabel);
    viewer.findChild<QTabWidget*>("tabViews")->setCurrentIndex(c.plot == cases[0].plot ? 1 : 2);
    const auto& panels = c.plot->panels();
    ASSERT_EQ(panels.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
      EXPECT_EQ(panels[k].unit, c.units[int(k)]);
      EXPECT_TRUE(panels[k].yTitle.endsWith(c.units[int(k)])) << panels[k].yTitle.toStdString();
      ASSERT_EQ(panels[k].series.size(), 1u);
      const PanelSeries& s = panels[k].series[0];
      EXPECT_EQ(s.name, k == 0 ? "X Gyro" : "X Accel") << "captions, not column titles";
      EXPECT_GT(s.points.size(), 5u);
      EXPECT_GT(s.model.size(), 1u) << "the model as a line";
      EXPECT_FALSE(s.terms.empty());
      for (const auto& t : s.terms) EXPECT_GT(t.label.size(), 2) << "each term named";
    }
    // The pointer over the lower panel reads the accelerometer in its unit.
    const QPoint at = c.plot->panelRect(c.plot->rect(), 1).center();
    QMouseEvent move(QEvent::MouseMove, at, c.plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(c.plot, &move);
    const QString readOut = viewer.findChild<QLabel*>(c.readOutLabel)->text();
    EXPECT_TRUE(readOut.contains("X Accel") && readOut.endsWith(c.units[1]))
        << readOut.toStdString();
    // The wheel zooms in about the pointer; Home shows everything again.
    const auto before = c.plot->xView();
    QWheelEvent wheel(at, c.plot->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c.plot, &wheel);
    EXPECT_LT(c.plot->xView().second - c.plot->xView().first, before.second - before.first);
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(c.plot, &home);
    EXPECT_EQ(c.plot->xView(), before);
  }
  // White noise of 0.002 g at 100 Hz: a density (as N, sigma times the root of the sample
  // interval) of 0.2 mg/sqrt(Hz), drawn as the table states it.
  const PanelSeries& accel = viewer.densityPlot().panels()[1].series[0];
  ASSERT_FALSE(accel.model.empty());
  for (const QPointF& at : accel.model)
    if (at.x() > 1.0 && at.x() < 10.0) {
      EXPECT_NEAR(at.y(), 0.002 * std::sqrt(0.01) * 1000, 0.03) << at.x() << " Hz";
    }
  // And the measured bands lie about the model (white noise: flat).
  double sum = 0;
  for (const QPointF& at : accel.points) sum += at.y();
  EXPECT_NEAR(sum / double(accel.points.size()), 0.2, 0.03);
  EXPECT_TRUE(
      viewer.findChild<QTableWidget*>("tblNoiseModel")->item(1, 6)->text().endsWith("mg/sqrt(Hz)"));
  EXPECT_EQ(viewer.findChild<QTableWidget*>("tblNoiseModel")->item(1, 0)->text(), "X Accel");
}

// In a German region every number a person reads in the viewer has a decimal comma; the files
// keep their points.
TEST_F(LogViewerAtAGlance, NumbersShownFollowTheRegion) {
  struct Region {
    QLocale kept;
    Region() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~Region() { QLocale::setDefault(kept); }
  } german;
  const std::string path = WriteThreeKinds(world.folder(), "G_1.csv");
  ASSERT_TRUE(viewer.openFiles({QString::fromStdString(path)}));
  check(3);
  const auto& plot = viewer.plot();
  EXPECT_TRUE(plot.readOutAt(0.5).startsWith("t = 0,5000 s")) << plot.readOutAt(0.5).toStdString();
  EXPECT_TRUE(plot.readOutAt(1500).startsWith("t = 1500,0000 s")) << "no group separator";
  EXPECT_TRUE(plot.readOutAt(0.5).contains("Temperature 25,005 C"))
      << plot.readOutAt(0.5).toStdString();
  bool commaTick = false;
  for (const auto& t : plot.laneTicks(plot.rect(), 1)) commaTick |= t.label.contains(',');
  EXPECT_TRUE(commaTick) << "the accelerometer's ticks near 1 g";
  auto* stats = viewer.findChild<QTableWidget*>("tblStats");
  EXPECT_TRUE(stats->item(2, 6)->text().startsWith("25,"))
      << stats->item(2, 6)->text().toStdString();
  EXPECT_TRUE(viewer.findChild<QLabel*>("lblFiles")->text().contains("0,01 s apart"))
      << viewer.findChild<QLabel*>("lblFiles")->text().toStdString();
  check(1);
  viewer.computeAllan();
  viewer.finishAllanNow();
  const QString walk = viewer.findChild<QTableWidget*>("tblNoiseModel")->item(0, 2)->text();
  EXPECT_TRUE(walk.contains(QRegularExpression("^\\d+,\\d+ \\+/- \\d+,\\d+ deg/sqrt\\(h\\)$")))
      << walk.toStdString();
}

}  // namespace
}  // namespace vexa::ui::testing
