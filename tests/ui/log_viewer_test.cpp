#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <cmath>

#include "analysis/log_text.h"
#include "main_window_fixture.h"
#include "sim/sensor_random.h"
#include "ui/analysis/allan_plot.h"
#include "ui/analysis/density_plot.h"
#include "ui/analysis/frm_log_viewer.h"
#include "ui/analysis/log_plot.h"
#include "ui/main/attach_windows.h"
#include "ui/main/eval_arguments.h"

namespace vexa::ui::testing {
namespace {

class LogViewerTest : public ::testing::Test {
 protected:
  LogViewerTest() : viewer(world.ctx) {}

  // A 100 s record at 100 Hz: a white-noise gyro and a ramp.
  QString writeRecord(const std::string& name = "V_1.csv") {
    sim::SensorRandom random(2);
    vexa::testing::LogColumn gyro{"XgND", "X Gryo", {}, {}};
    vexa::testing::LogColumn ramp{"TND", "Temp", {}, {}};
    for (int i = 0; i < 10000; ++i) {
      gyro.values.push_back(0.5 + 0.1 * random.gaussian());
      ramp.values.push_back(20.0 + i * 0.001);
    }
    const std::string path = world.folder() + "/" + name;
    vexa::testing::WriteText(path, vexa::testing::LogText(name, {gyro, ramp}, 100.0, 200.0));
    return QString::fromStdString(path);
  }
  QTableWidget* table(const char* name) { return viewer.findChild<QTableWidget*>(name); }
  QString cellText(const char* name, int row, int column) {
    return table(name)->item(row, column)->text();
  }

  vexa::testing::SimWorld world;
  frmLogViewer viewer;
};

TEST_F(LogViewerTest, ADamagedFileNamesItsLineAndKeepsTheView) {
  const QString good = writeRecord();
  ASSERT_TRUE(viewer.openFiles({good}));
  const std::string bad = world.folder() + "/BAD_1.csv";
  vexa::testing::WriteText(bad, "File Name,BAD_1.csv\r\nDate,x\r\n");
  EXPECT_FALSE(viewer.openFiles({QString::fromStdString(bad)}));
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_NE(world.messages.shown[0].text.find(bad + ", line 3"), std::string::npos)
      << world.messages.shown[0].text;
  EXPECT_EQ(viewer.record().files[0].path, good.toStdString());
}

TEST_F(LogViewerTest, PlotsCheckedChannelsWithStatisticsOfTheVisibleSpan) {
  ASSERT_TRUE(viewer.openFiles({writeRecord()}));
  auto* list = viewer.findChild<QListWidget*>("lstChannels");
  ASSERT_EQ(list->count(), 2);
  list->item(1)->setCheckState(Qt::Checked);
  ASSERT_EQ(viewer.plot().series().size(), 2u);
  EXPECT_EQ(cellText("tblStats", 1, 2), "10000");
  EXPECT_EQ(cellText("tblStats", 1, 5), "20");
  EXPECT_EQ(cellText("tblStats", 1, 6), "29.999");

  // Zoom into the first tenth: the statistics follow.
  viewer.plot().setTimeRange(0.0, 9.995);
  EXPECT_EQ(cellText("tblStats", 1, 2), "1000");
  EXPECT_EQ(cellText("tblStats", 1, 6), "20.999");
  // Keys: + halves the span about its middle, Home shows everything again.
  QKeyEvent plus(QEvent::KeyPress, Qt::Key_Plus, Qt::NoModifier);
  QApplication::sendEvent(&viewer.plot(), &plus);
  EXPECT_NEAR(viewer.plot().timeRange().second - viewer.plot().timeRange().first, 4.9975, 1e-9);
  QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
  QApplication::sendEvent(&viewer.plot(), &home);
  EXPECT_EQ(cellText("tblStats", 0, 2), "10000");

  // The cursor reads time and the value of each channel there.
  EXPECT_EQ(viewer.plot().readOutAt(0.5).toStdString().substr(0, 12), "t = 0.5000 s");
  EXPECT_NE(viewer.plot().readOutAt(0.5).indexOf("Temperature 20.05 C"), -1);
}

TEST_F(LogViewerTest, ExportsThePlotAsPngAndSvg) {
  ASSERT_TRUE(viewer.openFiles({writeRecord()}));
  const QString png = QString::fromStdString(world.folder() + "/plot.png");
  const QString svg = QString::fromStdString(world.folder() + "/plot.svg");
  ASSERT_TRUE(viewer.exportPlot(png));
  ASSERT_TRUE(viewer.exportPlot(svg));
  QFile p(png), s(svg);
  ASSERT_TRUE(p.open(QIODevice::ReadOnly));
  EXPECT_TRUE(p.read(4).endsWith("PNG"));
  ASSERT_TRUE(s.open(QIODevice::ReadOnly));
  EXPECT_TRUE(s.readAll().contains("<svg"));
  EXPECT_FALSE(viewer.exportPlot(QString::fromStdString(world.folder() + "/no/such/x.png")));
  EXPECT_EQ(world.messages.shown.size(), 1u);
}

TEST_F(LogViewerTest, DialogsStartInTheLogFolderAndExportAddsTheChosenExtension) {
  QStringList openedIn, exportedIn;
  viewer.chooseFiles = [&](const QString& folder) {
    openedIn << folder;
    return QStringList{};
  };
  QString answer, answerFilter;
  viewer.chooseExportFile = [&](const QString& folder, QString& filter) {
    exportedIn << folder;
    filter = answerFilter;
    return answer;
  };
  auto* exportButton = viewer.findChild<QPushButton*>("cmdExport");
  EXPECT_FALSE(exportButton->isEnabled()) << "nothing to export without a record";
  // Before a record: the folder the datalog writes to (here the working folder).
  viewer.findChild<QPushButton*>("cmdOpen")->click();
  EXPECT_EQ(openedIn, QStringList{QString::fromStdString(world.folder())});

  const std::string sub = world.folder() + "/logs";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(sub)));
  const QString record = writeRecord("logs/V_1.csv");
  ASSERT_TRUE(viewer.openFiles({record}));
  EXPECT_TRUE(exportButton->isEnabled());
  viewer.findChild<QPushButton*>("cmdOpen")->click();
  EXPECT_EQ(openedIn.back(), QString::fromStdString(sub)) << "the folder of the record shown";

  struct Case {
    const char* typed;
    const char* filter;
    const char* written;
  };
  for (const Case c : {Case{"plot", "PNG image (*.png)", "plot.png"},
                       Case{"drawing", "SVG drawing (*.svg)", "drawing.svg"},
                       Case{"kept.png", "SVG drawing (*.svg)", "kept.png"}}) {
    answer = QString::fromStdString(sub) + "/" + c.typed;
    answerFilter = c.filter;
    exportButton->click();
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(sub) + "/" + c.written)) << c.written;
    EXPECT_EQ(exportedIn.back(), QString::fromStdString(sub));
  }
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(sub) + "/plot"));
}

TEST_F(LogViewerTest, ChannelsOfEachUnitShareALaneWithItsOwnValueAxis) {
  ASSERT_TRUE(viewer.openFiles({writeRecord()}));
  auto* channels = viewer.findChild<QListWidget*>("lstChannels");
  channels->item(1)->setCheckState(Qt::Checked);
  EXPECT_EQ(viewer.plot().laneUnits(), (QStringList{"deg/sec", "C"}));
  // Each lane scales to its own channel: the gyro near 0.5, the ramp from 20 to 30.
  const auto [gyroLow, gyroHigh] = viewer.plot().valueRange(0);
  const auto [tempLow, tempHigh] = viewer.plot().valueRange(1);
  EXPECT_LT(gyroHigh - gyroLow, 2.0);
  EXPECT_NEAR(tempLow, 19.5, 0.1);
  EXPECT_NEAR(tempHigh, 30.5, 0.1);
  channels->item(0)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(viewer.plot().laneUnits(), QStringList{"C"});
}

TEST_F(LogViewerTest, AllanExportCarriesTheReadOffsAndWritesThemAsCsvOnRequest) {
  ASSERT_TRUE(viewer.openFiles({writeRecord()}));
  viewer.computeAllan();
  viewer.finishAllanNow();
  viewer.findChild<QTabWidget*>("tabViews")->setCurrentIndex(1);
  const QString plain = QString::fromStdString(world.folder() + "/adev.png");
  ASSERT_TRUE(viewer.exportPlot(plain));
  EXPECT_GT(QImage(plain).height(), viewer.allanPlot().height()) << "the table under the plot";
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(world.folder() + "/adev-read-offs.csv")));

  viewer.findChild<QCheckBox*>("chkReadOffsCsv")->setChecked(true);
  ASSERT_TRUE(viewer.exportPlot(plain));
  QFile csv(QString::fromStdString(world.folder() + "/adev-read-offs.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith("\"Channel\",\"Random walk\""));
  EXPECT_TRUE(lines[1].startsWith("\"X Gyro\",")) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains("deg/sqrt(h)"));
}

TEST_F(LogViewerTest, AllanDeviationOnTheWorkerGivesCurvesAndReadOffs) {
  ASSERT_TRUE(viewer.openFiles({writeRecord()}));
  viewer.computeAllan();
  EXPECT_FALSE(viewer.findChild<QPushButton*>("cmdComputeAllan")->isEnabled());
  viewer.finishAllanNow();
  ASSERT_EQ(viewer.allanPlot().curves().size(), 1u);
  const auto& curve = viewer.allanPlot().curves()[0];
  EXPECT_EQ(curve.points.size(), 10u);  // 1 .. 512 samples of 10000
  // White noise of 0.1 deg/sec at 100 Hz: 0.01 deg/sqrt(s), 0.6 deg/sqrt(h).
  EXPECT_NEAR(cellText("tblReadOffs", 0, 1).toDouble(), 0.6, 0.06);
  EXPECT_EQ(cellText("tblReadOffs", 0, 2), "deg/sqrt(h)");
  EXPECT_TRUE(viewer.findChild<QPushButton*>("cmdComputeAllan")->isEnabled());

  // A rate that is not a number is refused before anything starts.
  viewer.findChild<QLineEdit*>("txtRate")->setText("fast");
  viewer.computeAllan();
  EXPECT_EQ(world.messages.shown.size(), 1u);
  EXPECT_TRUE(viewer.findChild<QPushButton*>("cmdComputeAllan")->isEnabled());
}

TEST_F(LogViewerTest, ReadOffsOfARecordThatIsNotStillAreWithheldInTheSameWordsAsAdev) {
  ASSERT_TRUE(viewer.openFiles({writeRecord()}));
  viewer.findChild<QListWidget*>("lstChannels")->item(1)->setCheckState(Qt::Checked);  // the ramp
  world.messages.answer = true;  // analysed although the record check finds the ramp moving
  viewer.computeAllan();
  viewer.finishAllanNow();
  ASSERT_EQ(viewer.allanPlot().curves().size(), 2u);
  EXPECT_TRUE(viewer.allanPlot().curves()[0].readOffs.randomWalkFound);
  EXPECT_TRUE(cellText("tblReadOffs", 1, 1)
                  .startsWith(QString::fromStdString(
                      analysis::ReadOffValidityText(analysis::ReadOffValidity::NotStill))))
      << cellText("tblReadOffs", 1, 1).toStdString();
  EXPECT_EQ(table("tblReadOffs")->columnSpan(1, 1), 5);
  // Hidden under the span, and in the exported CSV, no figure either.
  for (int c = 2; c < 6; ++c) EXPECT_TRUE(cellText("tblReadOffs", 1, c).isEmpty()) << c;
  EXPECT_FALSE(viewer.allanPlot().curves()[1].readOffs.randomWalkFound) << "no line drawn";
}

// The fit and the density come with the Allan deviation: the model over the curve, the
// density tab, the figures table, and a report of them.
TEST_F(LogViewerTest, NoiseModelDensityAndReportFollowTheAllanDeviation) {
  ASSERT_TRUE(viewer.openFiles({writeRecord()}));
  auto* report = viewer.findChild<QPushButton*>("cmdReport");
  EXPECT_FALSE(report->isEnabled());
  EXPECT_FALSE(viewer.writeReport(QString::fromStdString(world.folder() + "/early.pdf")));
  EXPECT_EQ(world.messages.shown.size(), 1u);
  viewer.computeAllan();
  viewer.finishAllanNow();
  EXPECT_EQ(viewer.findChild<QTabWidget*>("tabViews")->tabText(2), "Noise Density");
  ASSERT_EQ(viewer.noise().size(), 1u);
  EXPECT_TRUE(viewer.allanPlot().curves()[0].model.ok);
  EXPECT_EQ(viewer.densityPlot().channelCount(), 1u);
  // 0.01 deg/s/sqrt(Hz) of white noise: 0.6 deg/sqrt(h) in the table, as the command line says.
  EXPECT_TRUE(cellText("tblNoiseModel", 0, 2).startsWith("0.6"))
      << cellText("tblNoiseModel", 0, 2).toStdString();
  EXPECT_TRUE(cellText("tblNoiseModel", 0, 4).startsWith("< "))
      << cellText("tblNoiseModel", 0, 4).toStdString();
  EXPECT_TRUE(cellText("tblNoiseModel", 0, 6).endsWith("deg/s/sqrt(Hz)"));
  EXPECT_TRUE(report->isEnabled());
  const QString pdf = QString::fromStdString(world.folder() + "/report.pdf");
  viewer.chooseReportFile = [&] { return pdf; };
  report->click();
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.read(5) == "%PDF-");
}

// A view reaching past either end of a long record draws the record where its samples lie,
// not stretched over the whole width.
TEST(LogPlotDrawing, ALongRecordIsDrawnOnlyWhereItsSamplesLie) {
  std::vector<double> values(20000);  // 200 s at 100 Hz
  for (size_t i = 0; i < values.size(); ++i) values[i] = i % 2 ? 1.0 : -1.0;
  LogPlot plot;
  plot.resize(700, 300);
  plot.setSeries({PlotSeries{"x", "", &values, 0.01, QColor(255, 0, 0)}});
  plot.setValueRange(-2.0, 2.0);
  struct Case {
    double from, to;
  };
  for (const Case c : {Case{0.0, 400.0}, Case{-200.0, 200.0}, Case{-100.0, 300.0}, Case{0, 200}}) {
    plot.setTimeRange(c.from, c.to);
    QImage image(plot.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    plot.render(painter, image.rect());
    painter.end();
    int leftmost = image.width(), rightmost = -1;
    for (int x = 0; x < image.width(); ++x)
      for (int y = 0; y < image.height(); ++y)
        if (image.pixel(x, y) == qRgb(255, 0, 0) && y > 30) {  // below the legend
          leftmost = std::min(leftmost, x);
          rightmost = std::max(rightmost, x);
        }
    const QRect area = image.rect().adjusted(72, 10, -12, -34);
    const auto xOf = [&](double t) {
      return area.left() + (t - c.from) / (c.to - c.from) * area.width();
    };
    EXPECT_NEAR(leftmost, std::max<double>(area.left(), xOf(0.0)), 2.0) << c.from << ".." << c.to;
    EXPECT_NEAR(rightmost, std::min<double>(area.right(), xOf(199.99)), 2.0)
        << c.from << ".." << c.to;
  }
}

TEST_F(MainWindowTest, ToolsMenuOpensTheLogViewerAndExitStaysLast) {
  load();
  AttachWindows(*form, world.ctx, presenter);
  const auto actions = form->menuBar()->actions();
  ASSERT_GE(actions.size(), 2);
  EXPECT_EQ(actions.back()->objectName(), "MnuExit");
  EXPECT_EQ(actions[actions.size() - 2]->objectName(), "mnuTools");
  menu("mnuLogViewer")->trigger();
  ASSERT_FALSE(presenter.presented.empty());
  EXPECT_EQ(presenter.presented.back(), "frmLogViewer");
}

TEST_F(MainWindowTest, DatalogViewLogsOpensTheViewerOnTheLastRunsFiles) {
  load();
  AttachWindows(*form, world.ctx, presenter);
  std::vector<std::string> viewed;
  presenter.drive = [&](QDialog& d) {
    if (d.objectName() == "frmDatalog") {
      auto* files = d.findChild<QLineEdit*>("txtFilesPerSession");
      files->setText("2");
      d.findChild<QLineEdit*>("txtSamplesPerFile")->setText("5");
      d.findChild<QPushButton*>("cmdStartDatalog")->click();
      d.findChild<QPushButton*>("cmdViewLogs")->click();
    } else if (auto* viewer = qobject_cast<frmLogViewer*>(&d)) {
      for (const auto& f : viewer->record().files) viewed.push_back(f.path);
    }
  };
  menu("mnuDatalog")->trigger();
  EXPECT_EQ(presenter.presented, (std::vector<std::string>{"frmDatalog", "frmLogViewer"}));
  EXPECT_EQ(viewed, (std::vector<std::string>{world.folder() + "/DATALOG_1.csv",
                                              world.folder() + "/DATALOG_2.csv"}));
}

TEST(EvalArgumentsForLogs, ViewLogTakesTheFilesUpToTheNextOptionAndStillSimulates) {
  const char* args[] = {"vexa-eval", "--view-log", "A_1.csv", "A_2.csv", "--screenshot", "x.png"};
  const EvalArguments a = ParseEvalArguments(6, args);
  EXPECT_EQ(a.logs, (std::vector<std::string>{"A_1.csv", "A_2.csv"}));
  EXPECT_EQ(a.screenshot, "x.png");
  const char* still[] = {"vexa-eval", "--simulate-still"};
  const EvalArguments b = ParseEvalArguments(2, still);
  EXPECT_TRUE(b.simulate);
  EXPECT_TRUE(b.simulateStill);
}

}  // namespace
}  // namespace vexa::ui::testing
