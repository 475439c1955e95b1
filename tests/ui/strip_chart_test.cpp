// The strip charts: sweep and wrap, erase column, clipping, scale cycles, legend markers and
// the pointer read-out.

#include <QMouseEvent>

#include "ui/main/strip_chart.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

using Values = std::array<float, 3>;
const std::array<bool, 3> kAll = {true, true, true};

class Chart : public ::testing::Test {
 protected:
  void add(const Values& v, std::array<bool, 3> drawn = kAll) {
    chart.addSample(v, drawn, high, low);
  }
  StripChart chart;
  double high = 400, low = -400;
};

TEST_F(Chart, FirstSampleStartsFromTheOrigin) {
  add({200, -400, 0});
  EXPECT_TRUE(chart.initialised());
  EXPECT_EQ(chart.cursor(), 1);
  ASSERT_EQ(chart.slot(1).size(), 3u);
  const auto& s = chart.slot(1)[0];
  EXPECT_EQ(s.x0, 0);
  EXPECT_EQ(s.x1, 1);
  EXPECT_DOUBLE_EQ(s.f0, 0.5);   // value 0 is the middle
  EXPECT_DOUBLE_EQ(s.f1, 0.25);  // 200 of +-400
  EXPECT_DOUBLE_EQ(chart.slot(1)[1].f1, 1.0);
  EXPECT_EQ(chart.cursorMark(), 2);
}

TEST_F(Chart, The351stSampleWrapsToTheLeftEdge) {
  for (int n = 1; n <= 350; ++n) add({static_cast<float>(n), 0, 0});
  EXPECT_EQ(chart.cursor(), 350);
  EXPECT_EQ(chart.slot(350)[0].x0, 349);
  add({-100, 0, 0});
  EXPECT_EQ(chart.cursor(), 0);
  EXPECT_EQ(chart.previousX(), 0);
  ASSERT_EQ(chart.slot(0).size(), 3u);
  EXPECT_EQ(chart.slot(0)[0].x0, 0);
  EXPECT_EQ(chart.slot(0)[0].x1, 0);
  EXPECT_DOUBLE_EQ(chart.slot(0)[0].f0, (400 - 350) / 800.0);  // from the last value
  EXPECT_DOUBLE_EQ(chart.slot(0)[0].f1, (400 + 100) / 800.0);
  // The column ahead is erased: the old sweep's segment into x = 1 is gone.
  EXPECT_TRUE(chart.slot(1).empty());
  EXPECT_FALSE(chart.slot(2).empty());
  EXPECT_EQ(chart.cursorMark(), 1);
  add({0, 0, 0});
  EXPECT_EQ(chart.cursor(), 1);
  EXPECT_EQ(chart.slot(1)[0].x0, 0);
  EXPECT_TRUE(chart.slot(2).empty());
}

TEST_F(Chart, UncheckedTraceStopsButKeepsItsPreviousValue) {
  add({100, 100, 100});
  add({300, 300, 300}, {true, false, true});
  ASSERT_EQ(chart.slot(2).size(), 2u);
  EXPECT_EQ(chart.slot(2)[0].channel, 0);
  EXPECT_EQ(chart.slot(2)[1].channel, 2);
  EXPECT_FLOAT_EQ(chart.previousValue(1), 300);
  add({300, 300, 300});
  // Re-checked: its line starts from the last value, not from an old point.
  EXPECT_DOUBLE_EQ(chart.slot(3)[1].f0, chart.slot(3)[1].f1);
}

TEST_F(Chart, ValuesOutsideTheRangeAreDrawnBeyondTheEdge) {
  high = 1000;
  low = -1000;
  add({1200, -1500, 1000});
  EXPECT_LT(chart.slot(1)[0].f1, 0.0);  // above the top edge, clipped when painted
  EXPECT_GT(chart.slot(1)[1].f1, 1.0);
  EXPECT_DOUBLE_EQ(chart.slot(1)[2].f1, 0.0);
  EXPECT_DOUBLE_EQ(high, 1000) << "the range is not adapted";
}

TEST_F(Chart, ZeroSpanSetsTheLowFullScaleToMinusOne) {
  high = 0;
  low = 0;
  add({0, 0, 0});
  EXPECT_EQ(low, -1);
}

TEST_F(Chart, PaintsAtTheScreensDensity) {
  chart.resize(720, 200);
  for (int n = 0; n < 500; ++n) add({static_cast<float>(n % 200), -100, 350});
  const QImage image = chart.grab().toImage();
  ASSERT_FALSE(image.isNull());
  // Some trace pixels in each colour inside the plot.
  int red = 0, blue = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      red += c.red() > 150 && c.green() < 80 && c.blue() < 80;
      blue += c.blue() > 100 && c.red() < 60 && c.green() < 60;
    }
  EXPECT_GT(red, 100);
  EXPECT_GT(blue, 100);
}

// Scale buttons, legend markers and read-outs, on the main window.
class Charts : public MainWindowTest {
 protected:
  void SetUp() override { load(); }
  std::vector<std::string> scaleLabels(const char* bottom, const char* middle, const char* top) {
    return {label(bottom)->text().toStdString(), label(middle)->text().toStdString(),
            label(top)->text().toStdString()};
  }
};

TEST_F(Charts, ScaleButtonsCycleTheirRanges) {
  struct Case {
    const char* button;
    std::vector<double> highs;
  };
  const std::vector<Case> cases = {
      {"cmdScaleGyro", {300, 150, 75, 400, 300}},
      {"cmdScaleAcc", {18, 7, 1.5, 18}},
      {"cmdScaleMag", {400, 2500, 1000, 400}},
  };
  for (const Case& c : cases) {
    for (double expected : c.highs) {
      button(c.button)->click();
      const auto scale = std::string(c.button) == "cmdScaleGyro"  ? form->gyroScale()
                         : std::string(c.button) == "cmdScaleAcc" ? form->accScale()
                                                                  : form->magScale();
      EXPECT_EQ(scale.high, expected) << c.button;
      EXPECT_EQ(scale.low, -expected) << c.button;
    }
  }
  // Three presses of the accelerometer button from 1.5 g come back to it.
  form->setDevice(27150);
  for (int n = 0; n < 3; ++n) button("cmdScaleAcc")->click();
  EXPECT_EQ(scaleLabels("lblnFS2", "lblmidS2", "lblpFS2"),
            (std::vector<std::string>{"-1.5", "0", "1.5"}));
  button("cmdScaleGyro")->click();
  EXPECT_EQ(scaleLabels("lblnFS1", "lblmidS1", "lblpFS1"),
            (std::vector<std::string>{"-300", "0", "300"}));
}

TEST_F(Charts, NewRangeAppliesFromTheNextSample) {
  check("ckLoop")->setChecked(false);
  auto* pic2 = child<StripChart>("pic2");
  button("cmdScaleAcc")->click();
  EXPECT_EQ(pic2->high(), 1.5);
  button("cmdReadData")->click();
  EXPECT_EQ(pic2->high(), 18);
}

TEST_F(Charts, LegendMarkersFollowTheirBoxes) {
  for (int i = 2; i <= 10; ++i) {
    QCheckBox* box = check(QString("ckG_%1").arg(i));
    QWidget* shape = child<QWidget>(QString("Shape_%1").arg(i));
    for (int n = 0; n < 2; ++n) {
      box->click();
      EXPECT_EQ(shape->isVisibleTo(form.get()), box->isChecked()) << i;
    }
  }
}

TEST_F(Charts, UncheckedChannelIsNotDrawn) {
  check("ckLoop")->setChecked(false);
  check("ckG_2")->setChecked(false);
  auto* pic1 = child<StripChart>("pic1");
  button("cmdReadData")->click();
  for (const auto& s : pic1->slot(pic1->cursor())) EXPECT_NE(s.channel, 0);
}

TEST_F(Charts, PointerReadOutRoundsHalvesToEven) {
  struct Case {
    double x, y;
    const char* sample;
    const char* value;
  };
  const std::vector<Case> cases = {{0.5, 0.5, "0", "0"},
                                   {1.5, -1.5, "2", "-2"},
                                   {174.6, 2.5, "175", "2"},
                                   {350, -0.4, "350", "0"}};
  auto* pic2 = child<StripChart>("pic2");
  for (const Case& c : cases) {
    emit pic2->pointerMoved(c.x, c.y);
    EXPECT_EQ(label("lblCurSam2")->text(), c.sample) << c.x;
    EXPECT_EQ(label("lblCurVal2")->text(), c.value) << c.y;
  }
  // A real movement over the middle of the accelerometer chart reads sample 175, value 0.
  form->resize(1280, 820);
  form->show();
  const QPointF middle = pic2->plotRect().center();
  QMouseEvent move(QEvent::MouseMove, middle, pic2->mapToGlobal(middle), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(pic2, &move);
  EXPECT_EQ(label("lblCurSam2")->text(), "175");
  EXPECT_EQ(label("lblCurVal2")->text(), "0");
  // And the top edge of the magnetometer chart its full scale.
  auto* pic3 = child<StripChart>("pic3");
  const QPointF top(pic3->plotRect().left(), pic3->plotRect().top());
  QMouseEvent moveTop(QEvent::MouseMove, top, pic3->mapToGlobal(top), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(pic3, &moveTop);
  EXPECT_EQ(label("LbLcurSam3")->text(), "0");
  EXPECT_EQ(label("lblCurVal3")->text(), "1000");
  form->hide();
}

}  // namespace
}  // namespace vexa::ui::testing
