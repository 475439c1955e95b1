// The windows' side of the results store: the datalog window records its run under the unit
// typed, remembered for the next opening; the Units window shows it and opens its files.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <filesystem>
#include <fstream>
#include <functional>

#include "results/recording.h"
#include "ui/datalog/frm_datalog.h"
#include "ui/main_window_fixture.h"
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

}  // namespace
}  // namespace vexa::ui::testing
