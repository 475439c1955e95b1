#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <cmath>

#include "analysis/log_text.h"
#include "sim/sensor_random.h"
#include "support/sim_world.h"
#include "ui/analysis/density_plot.h"
#include "ui/analysis/frm_log_viewer.h"

#include <gtest/gtest.h>

namespace vexa::ui::testing {
namespace {

constexpr double kRate = 100.0;
constexpr int kSamples = 20000;  // 200 s

// A gyro record: 0.1 deg/s of white noise on a 0.5 deg/s bias, with `shape` added at each
// second; split into files `gapAfter` seconds apart (0: one file).
std::vector<QString> WriteGyro(const std::string& folder,
                               const std::function<double(double)>& shape, double gapAfter = 0.0) {
  sim::SensorRandom random(11);
  std::vector<double> values;
  for (int i = 0; i < kSamples; ++i)
    values.push_back(0.5 + 0.1 * random.gaussian() + shape(i / kRate));
  const int files = gapAfter > 0 ? 2 : 1;
  std::vector<QString> paths;
  for (int f = 0; f < files; ++f) {
    const std::string name = "G_" + std::to_string(f + 1) + ".csv";
    const int n = kSamples / files;
    vexa::testing::LogColumn gyro{
        "XgND", "X Gryo", {values.begin() + f * n, values.begin() + (f + 1) * n}, {}};
    const double begin = 100.0 + f * (n / kRate + gapAfter);
    vexa::testing::WriteText(folder + "/" + name,
                             vexa::testing::LogText(name, {gyro}, begin, begin + n / kRate));
    paths.push_back(QString::fromStdString(folder + "/" + name));
  }
  return paths;
}

// A record that is not one of a sensor at rest is not analysed unasked: the viewer names why,
// and analysed anyway every figure it shows or exports carries the mark.
TEST(LogViewerRecordCheck, ARecordNotStillIsAnalysedOnlyWhenForcedAndThenMarked) {
  const struct {
    const char* name;
    std::function<double(double)> shape;
    double gap;
    const char* reason;  // part of the reason shown; empty: a still record
  } cases[] = {
      {"still", [](double) { return 0.0; }, 0.0, ""},
      {"turning", [](double) { return 30.0; }, 0.0, "far from any gyro bias"},
      {"rocking", [](double t) { return 3.0 * std::sin(2 * M_PI * t / 8.0); }, 0.0, "rocking"},
      {"stepped", [](double t) { return t < 100 ? 0.0 : 2.0; }, 0.0, "the mean steps"},
      {"gapped", [](double) { return 0.0; }, 3600.0, "a gap of 3600 s"},
      {"constant", [](double) { return 0.0; }, 0.0, "values do not change"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vexa::testing::SimWorld world;
    frmLogViewer viewer(world.ctx);
    std::vector<QString> paths = WriteGyro(world.folder(), c.shape, c.gap);
    if (std::string(c.name) == "constant") {
      vexa::testing::LogColumn flat{"XgND", "X Gryo", std::vector<double>(kSamples, 0.5), {}};
      vexa::testing::WriteText(paths[0].toStdString(),
                               vexa::testing::LogText("G_1.csv", {flat}, 100.0, 300.0));
    }
    ASSERT_TRUE(viewer.openFiles(QStringList(paths.begin(), paths.end())));
    auto* label = viewer.findChild<QLabel*>("lblRecordCheck");
    auto* figures = viewer.findChild<QTableWidget*>("tblNoiseModel");
    const bool still = *c.reason == '\0';

    // Declined: nothing analysed, the reason in the window.
    world.messages.answer = false;
    viewer.computeAllan();
    viewer.finishAllanNow();
    if (still) {
      EXPECT_TRUE(world.messages.asked.empty());
      EXPECT_FALSE(!label->isHidden());
      ASSERT_EQ(viewer.noise().size(), 1u);
      EXPECT_TRUE(viewer.noise()[0].still());
      EXPECT_FALSE(figures->item(0, 2)->text().contains("record not still"));
      continue;
    }
    ASSERT_EQ(world.messages.asked.size(), 1u);
    EXPECT_NE(world.messages.asked[0].find(c.reason), std::string::npos) << world.messages.asked[0];
    EXPECT_TRUE(viewer.noise().empty());
    EXPECT_EQ(figures->rowCount(), 0);
    EXPECT_TRUE(!label->isHidden());
    EXPECT_TRUE(label->text().contains(c.reason)) << label->text().toStdString();

    // Forced: every figure in the table, the read-offs' CSV and the report's record is marked.
    world.messages.answer = true;
    viewer.computeAllan();
    viewer.finishAllanNow();
    ASSERT_EQ(viewer.noise().size(), 1u);
    EXPECT_FALSE(viewer.noise()[0].still());
    EXPECT_EQ(viewer.noise()[0].title, "X Gyro")
        << "the report's name: the caption, not the file's";
    ASSERT_EQ(figures->rowCount(), 1);
    for (int col = 1; col < figures->columnCount(); ++col) {
      const QString text = figures->item(0, col)->text();
      EXPECT_TRUE(text.endsWith("[record not still]") || text == "no white level")
          << col << ": " << text.toStdString();
    }
    // The density image holds no table: the mark and why stand under its panels.
    viewer.findChild<QTabWidget*>("tabViews")->setCurrentIndex(2);
    const QString density = QString::fromStdString(world.folder() + "/density.png");
    ASSERT_TRUE(viewer.exportPlot(density));
    const QSize plot = viewer.densityPlot().size();
    EXPECT_GT(QImage(density).height(), plot.width() < 200 ? 600 : plot.height());
    viewer.findChild<QTabWidget*>("tabViews")->setCurrentIndex(1);
    viewer.findChild<QCheckBox*>("chkReadOffsCsv")->setChecked(true);
    ASSERT_TRUE(viewer.exportPlot(QString::fromStdString(world.folder() + "/adev.png")));
    QFile csv(QString::fromStdString(world.folder() + "/adev-read-offs.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].contains("[record not still]")) << lines[1].toStdString();
  }
}

}  // namespace
}  // namespace vexa::ui::testing
