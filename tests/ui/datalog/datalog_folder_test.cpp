// Choosing the datalog window's folder: "Browse..." beside the folder it shows, the choice kept
// in the program's own settings and used by the run and by later openings.

#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>
#include <filesystem>

#include "datalog/log_folder.h"
#include "ui/datalog/frm_datalog.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

namespace fs = std::filesystem;

class DatalogFolder : public MainWindowTest {
 protected:
  std::unique_ptr<frmDatalog> openWindow() {
    auto window = std::make_unique<frmDatalog>(world.ctx);
    window->Form_Load();
    window->show();
    window->chooseFolder = [this](const QString& start) {
      startedIn << start;
      return answer;
    };
    return window;
  }
  static QString shown(frmDatalog& w) { return w.findChild<QLineEdit*>("txtDirectory")->text(); }
  static void browse(frmDatalog& w) { w.findChild<QPushButton*>("cmdBrowse")->click(); }

  QStringList startedIn;
  QString answer;
};

TEST_F(DatalogFolder, BrowseChoosesTheFolderTheRunWritesAndLaterOpeningsShow) {
  const std::string chosen = world.folder() + "/runs";
  fs::create_directory(chosen);
  auto window = openWindow();
  answer = QString::fromStdString(chosen);
  browse(*window);
  EXPECT_EQ(startedIn, QStringList{QString::fromStdString(world.folder())});
  EXPECT_EQ(shown(*window).toStdString(), chosen);
  EXPECT_EQ(ctx().preferences.text(datalog::kLogFolderKey), chosen);

  window->findChild<QLineEdit*>("txtSamplesPerFile")->setText("3");
  window->findChild<QPushButton*>("cmdStartDatalog")->click();
  EXPECT_TRUE(fs::exists(chosen + "/DATALOG_1.csv"));
  EXPECT_FALSE(fs::exists(world.folder() + "/DATALOG_1.csv"));

  // Cancelling the dialog keeps the folder; a new opening starts there.
  answer.clear();
  browse(*window);
  EXPECT_EQ(shown(*window).toStdString(), chosen);
  EXPECT_EQ(shown(*openWindow()).toStdString(), chosen);
}

TEST_F(DatalogFolder, AFolderThatCannotBeWrittenIsRefusedAndAVanishedOneFallsBack) {
  const std::string locked = world.folder() + "/locked";
  fs::create_directory(locked);
  ::chmod(locked.c_str(), 0500);
  auto window = openWindow();
  answer = QString::fromStdString(locked);
  browse(*window);
  ::chmod(locked.c_str(), 0700);
  if (::geteuid() != 0) {  // root writes anywhere
    EXPECT_EQ(shown(*window).toStdString(), world.folder());
    EXPECT_EQ(ctx().preferences.text(datalog::kLogFolderKey), "");
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_NE(messages()[0].find("cannot be written in " + locked), std::string::npos);
  }

  datalog::RememberLogDirectory(ctx(), world.folder() + "/gone");
  EXPECT_EQ(shown(*openWindow()).toStdString(), world.folder());
}

}  // namespace
}  // namespace vexa::ui::testing
