// The windows' side of the results store: the datalog window records its run under the unit
// typed, remembered for the next opening; the Units window shows it and opens its files.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>

#include <filesystem>
#include <fstream>
#include <functional>

#include "results/recording.h"
#include "ui/datalog/frm_datalog.h"
#include "ui/main_window_fixture.h"
#include "ui/results/figure_plot.h"
#include "ui/results/frm_units.h"

namespace vexa::ui::testing {
namespace {

class UnitsWindow : public MainWindowTest {
 protected:
  void SetUp() override {
    world.ctx.resultsDatabase = world.folder() + "/results.db";
    world.messages.answer = true;  // the second run replaces the first one's file
  }
  void logOnce(const QString& unit) {
    frmDatalog window(world.ctx);
    window.Form_Load();
    window.show();
    auto* field = window.findChild<QLineEdit*>("txtUnit");
    ASSERT_NE(field, nullptr);
    if (!unit.isNull()) {
      field->setText(unit);
      emit field->textEdited(unit);
    }
    window.findChild<QLineEdit*>("txtSamplesPerFile")->setText("4");
    window.findChild<QPushButton*>("cmdStartDatalog")->click();
    auto* state = window.findChild<QLabel*>("lblResultsStore");
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->text().toStdString(), "results store: online");
  }
};

TEST_F(UnitsWindow, RunsAreRecordedUnderTheRememberedUnitAndOpenInTheLogViewer) {
  logOnce("LOT7-001");
  logOnce(QString());  // the field starts with the unit typed last time
  EXPECT_EQ(world.ctx.preferences.text(results::kUnitKey), "LOT7-001");

  frmUnits units(world.ctx);
  std::vector<std::string> opened;
  units.openLogViewer = [&](const std::vector<std::string>& files) { opened = files; };
  units.refresh();
  ASSERT_EQ(units.units().size(), 1u);
  EXPECT_EQ(units.units()[0].name, "LOT7-001");
  EXPECT_EQ(units.units()[0].runs, 2);
  EXPECT_FALSE(units.units()[0].product.empty()) << "read when the window opened";
  units.selectUnit("LOT7-001");
  ASSERT_EQ(units.history().size(), 2u);
  auto* history = units.findChild<QTableWidget*>("tblHistory");
  history->selectRow(1);
  units.findChild<QPushButton*>("cmdOpenRun")->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], units.history()[1].filesWritten.at(0).path);
  EXPECT_TRUE(messages().empty());

  // A file edited since the run opens with a warning; one removed since is named, not opened.
  const std::string file = units.history()[1].filesWritten.at(0).path;
  const struct {
    std::function<void()> change;
    const char* said;
    size_t opens;
  } cases[] = {{[&] { std::ofstream(file, std::ios::app) << "1,2\r\n"; },
                "has changed since the run wrote it", 1},
               {[&] { std::filesystem::remove(file); }, "is gone", 0}};
  for (const auto& c : cases) {
    c.change();
    opened.clear();
    world.messages.shown.clear();
    history->selectRow(1);
    units.findChild<QPushButton*>("cmdOpenRun")->click();
    EXPECT_EQ(opened.size(), c.opens) << c.said;
    ASSERT_EQ(messages().size(), 1u) << c.said;
    EXPECT_NE(messages()[0].find(c.said), std::string::npos) << messages()[0];
  }
}

TEST_F(UnitsWindow, ControlCharactersPastedIntoTheUnitNeverReachItsName) {
  frmDatalog window(world.ctx);
  window.Form_Load();
  auto* field = window.findChild<QLineEdit*>("txtUnit");
  field->setText("LOT7\t014\x1b[2J");
  emit field->textEdited(field->text());
  EXPECT_EQ(field->text().toStdString(), "LOT7014[2J");
  EXPECT_EQ(world.ctx.preferences.text(results::kUnitKey), "LOT7014[2J");
}

// The figure across units names its units: under each column, in the tooltip with the value, and
// a click on a column opens that unit. The history's dates and kinds are not cut.
TEST_F(UnitsWindow, TheFigurePlotNamesEachUnitAndAClickOpensIt) {
  logOnce("LOT7-001");
  logOnce("LOT7-002");
  frmUnits units(world.ctx);
  units.resize(1000, 700);
  units.show();
  units.refresh();
  ASSERT_EQ(units.units().size(), 2u);
  auto* plot = units.findChild<FigurePlot*>("picFigure");
  ASSERT_NE(plot, nullptr);
  std::vector<results::FigureValue> values(2);
  values[0].unit = "LOT7-001", values[0].value = 0.25, values[0].sigma = 0.01;
  values[1].unit = "LOT7-002", values[1].value = 0.5;
  for (auto& v : values) v.valueUnit = "deg/sqrt(h)", v.resolved = true;
  values[1].resolved = false;
  plot->setValues(values, std::nullopt);
  struct Case {
    size_t index;
    const char* text;
  };
  for (const Case c :
       {Case{0, "LOT7-001: 0.25 +/- 0.01 deg/sqrt(h)"}, Case{1, "LOT7-002: < 0.5 deg/sqrt(h)"}}) {
    EXPECT_EQ(plot->columnLabel(c.index).toStdString(), values[c.index].unit);
    EXPECT_EQ(plot->pointText(c.index).toStdString(), c.text);
  }
  // Columns split the plot's width in name order; a click on the second opens it.
  const QPoint second(plot->width() * 3 / 4, plot->height() / 2);
  EXPECT_EQ(plot->unitAt(QPoint(plot->width() / 4 + 20, plot->height() / 2)), 0);
  EXPECT_EQ(plot->unitAt(second), 1);
  EXPECT_EQ(plot->unitAt(QPoint(2, 2)), -1) << "outside the plot";
  QMouseEvent click(QEvent::MouseButtonPress, second, plot->mapToGlobal(second), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(plot, &click);
  ASSERT_GE(units.findChild<QTableWidget*>("tblUnits")->currentRow(), 0);
  EXPECT_EQ(units.units()[size_t(units.findChild<QTableWidget*>("tblUnits")->currentRow())].name,
            "LOT7-002");

  auto* history = units.findChild<QTableWidget*>("tblHistory");
  ASSERT_GT(history->rowCount(), 0);
  const QFontMetrics fm(history->font());
  for (int c = 0; c + 1 < history->columnCount(); ++c)
    for (int r = 0; r < history->rowCount(); ++r) {
      const QString text = history->item(r, c)->text();
      EXPECT_LE(fm.horizontalAdvance(text) + 6, history->columnWidth(c)) << text.toStdString();
      EXPECT_EQ(history->item(r, c)->toolTip(), text);
    }
}

}  // namespace
}  // namespace vexa::ui::testing
