#include "ui/datalog/frm_datalog.h"

#include <QGroupBox>
#include <QProgressBar>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/file_lines.h"
#include "ui/main/attach_windows.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

namespace fs = std::filesystem;

using vexa::testing::fileLines;

// The datalog window on its own, over the word sensor behind the simulated parallel port.
class DatalogWindow : public MainWindowTest {
 protected:
  DatalogWindow() {
    window = std::make_unique<frmDatalog>(world.ctx);
    window->clearMainLoop = [this] { ++loopClears; };
    window->Form_Load();
    window->show();
  }
  ~DatalogWindow() override { window.reset(); }

  template <typename T>
  T* w(const QString& name) const {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  QLineEdit* field(const char* name) const { return w<QLineEdit>(name); }
  QCheckBox* box(int i) const { return w<QCheckBox>(QString("CheckReg_%1").arg(i)); }
  QPushButton* start() const { return w<QPushButton>("cmdStartDatalog"); }
  std::string logFile(int n) const {
    return world.folder() + "/DATALOG_" + std::to_string(n) + ".csv";
  }
  // Puts a text over the whole field in one change, as pasting over a selection does.
  void type(const char* name, const QString& text) {
    QLineEdit* f = field(name);
    f->selectAll();
    if (text.isEmpty())
      f->del();
    else
      f->insert(text);
  }
  // Types a text at the end of a field, one keystroke at a time.
  void keys(const char* name, const QString& text) {
    QLineEdit* f = field(name);
    f->end(false);
    for (QChar c : text) f->insert(QString(c));
  }

  std::unique_ptr<frmDatalog> window;
  int loopClears = 0;
};

TEST_F(DatalogWindow, LoadsWithItsDefaults) {
  EXPECT_EQ(window->windowTitle(), "Datalog Control");
  EXPECT_EQ(field("txtSamplesPerFile")->text(), "1000");
  EXPECT_EQ(field("txtSampleDelay")->text(), "0");
  EXPECT_EQ(field("txtFilesPerSession")->text(), "1");
  EXPECT_EQ(field("txtDirectory")->text().toStdString(), world.folder());
  EXPECT_EQ(field("txtFileName")->text(), "DATALOG");
  EXPECT_EQ(field("txtFileNum")->text(), "1");
  EXPECT_FALSE(field("txtFileNum")->isEnabled());
  EXPECT_EQ(w<QLabel>("lblFext")->text(), ".csv");
  EXPECT_TRUE(w<QRadioButton>("OpUnits")->isChecked());
  EXPECT_FALSE(w<QRadioButton>("OpLSB")->isChecked());
  for (int i = 1; i <= 12; ++i) EXPECT_EQ(box(i)->isChecked(), i == 2) << i;
  EXPECT_EQ(box(1)->text(), "Power Supply");
  EXPECT_EQ(box(12)->text(), "AUX_ADC");
  EXPECT_FALSE(w<QLabel>("LBLDatalogInProgress")->isVisible());
  EXPECT_EQ(w<QLabel>("LBLDatalogInProgress")->text(), "D A T A L O G    I N    P R O G R E S S");
  EXPECT_EQ(start()->text(), "Start Datalog");
  EXPECT_EQ(w<QGroupBox>("FrameFilePref")->title(), "FILE SETUP");
  EXPECT_EQ(loopClears, 1);
  EXPECT_EQ(window->samplesPerFile(), 1000);
  EXPECT_EQ(window->filesPerSession(), 1);
}

TEST_F(DatalogWindow, FieldsAreCheckedOnEveryKeystroke) {
  const struct {
    const char* field;
    const char* typed;
    const char* shown;
    double stored;  // samples or files per session afterwards; -1 for the delay
  } cases[] = {
      {"txtSampleDelay", "abc", "0", -1},
      {"txtSampleDelay", "40000", "32000", -1},
      {"txtSampleDelay", "-5", "0", -1},
      {"txtSampleDelay", "0.005", "0.005", -1},
      {"txtSamplesPerFile", "0", "1", 1},
      {"txtSamplesPerFile", "3000000000", "2147483647", 2147483647},
      {"txtSamplesPerFile", "", "1000", 1000},
      {"txtSamplesPerFile", "2.5", "2.5", 2.5},
      {"txtFilesPerSession", "2500000000", "2000000000", 2000000000},
      {"txtFilesPerSession", "0", "1", 1},
      {"txtFilesPerSession", "12", "12", 12},
      // A group separator is no part of a number: where the comma groups digits "1,000" is
      // not a number (neither a thousand nor 1) and is replaced; "nan" and "inf" are not numbers.
      {"txtSampleDelay", "40,000", "0", -1},
      {"txtSampleDelay", "nan", "0", -1},
      {"txtSamplesPerFile", "1,000", "1000", 1000},
      {"txtSamplesPerFile", "inf", "1000", 1000},
      {"txtFilesPerSession", "2,000", "1", 1},
  };
  for (const auto& c : cases) {
    type(c.field, c.typed);
    EXPECT_EQ(field(c.field)->text().toStdString(), c.shown) << c.field << " " << c.typed;
    if (c.stored >= 0) {
      const bool samples = std::string(c.field) == "txtSamplesPerFile";
      EXPECT_EQ(samples ? window->samplesPerFile() : window->filesPerSession(), c.stored)
          << c.field << " " << c.typed;
    }
  }
  // Every keystroke is checked: 4, 40, 400, 4000, then 40000 becomes 32000.
  type("txtSampleDelay", "");
  keys("txtSampleDelay", "40000");
  EXPECT_EQ(field("txtSampleDelay")->text(), "32000");
  type("txtSamplesPerFile", "");
  EXPECT_EQ(field("txtSamplesPerFile")->text(), "1000");
  keys("txtSamplesPerFile", "x");
  EXPECT_EQ(field("txtSamplesPerFile")->text(), "1000");

  field("txtDirectory")->setText("/somewhere/else");
  EXPECT_EQ(field("txtDirectory")->text().toStdString(), world.folder());
  type("txtFileName", "run7");
  EXPECT_EQ(window->fileName(), "run7");
}

TEST_F(DatalogWindow, StartWithoutAChannelOnlySaysSo) {
  box(2)->setChecked(false);
  start()->click();
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_EQ(world.messages.shown[0].text, "Please check at least one DATA SELECTION box.");
  EXPECT_EQ(world.messages.shown[0].title, "");
  EXPECT_EQ(world.messages.shown[0].icon, MessageIcon::None);
  EXPECT_EQ(start()->text(), "Start Datalog");
  EXPECT_FALSE(fs::exists(logFile(1)));
}

TEST_F(DatalogWindow, RunLocksTheWindowShowsProgressAndLogsTheCheckedChannel) {
  box(2)->setChecked(false);
  box(12)->setChecked(true);
  w<QRadioButton>("OpLSB")->setChecked(true);
  sensor.set(AUX_ADC, 0x8000 | 1234);
  type("txtSamplesPerFile", "3");
  type("txtFilesPerSession", "2");
  // Passes over events: after opening file 1, after its three samples, after opening file 2,
  // after its first sample (6).
  bool seen = false;
  atEventPass(6, [&] {
    seen = true;
    EXPECT_EQ(start()->text(), "Cancel Datalog");
    EXPECT_TRUE(start()->isEnabled());
    EXPECT_TRUE(w<QLabel>("LBLDatalogInProgress")->isVisible());
    EXPECT_EQ(field("txtFileNum")->text(), "2");
    for (const char* name : {"txtSamplesPerFile", "txtSampleDelay", "txtFilesPerSession",
                             "txtDirectory", "txtFileName"})
      EXPECT_FALSE(field(name)->isEnabled()) << name;
    for (int i = 1; i <= 12; ++i) EXPECT_FALSE(box(i)->isEnabled()) << i;
    EXPECT_FALSE(w<QRadioButton>("OpUnits")->isEnabled());
    EXPECT_FALSE(w<QRadioButton>("OpLSB")->isEnabled());
    EXPECT_TRUE(w<QLabel>("lblProgress")->isVisible());
    EXPECT_NE(w<QLabel>("lblProgress")->text().indexOf("Sample 1 of 3   File 2 of 2"), -1)
        << w<QLabel>("lblProgress")->text().toStdString();
    EXPECT_EQ(w<QProgressBar>("barProgress")->value(), 666);
  });
  start()->click();
  EXPECT_TRUE(seen);
  EXPECT_EQ(start()->text(), "Start Datalog");
  EXPECT_FALSE(w<QLabel>("LBLDatalogInProgress")->isVisible());
  EXPECT_FALSE(w<QLabel>("lblProgress")->isVisible());
  EXPECT_TRUE(field("txtFileName")->isEnabled());
  EXPECT_TRUE(box(12)->isEnabled());
  EXPECT_TRUE(w<QRadioButton>("OpUnits")->isEnabled());
  for (int n = 1; n <= 2; ++n) {
    const auto lines = fileLines(logFile(n));
    ASSERT_EQ(lines.size(), 10u) << n;
    EXPECT_EQ(lines[6], "Sample #,AaND,Aux ADC,");
    EXPECT_EQ(lines[7], "1,1,1234,");
  }
  // The window says what the run wrote; the next start clears it.
  EXPECT_EQ(w<QLabel>("lblResult")->text(),
            "Last run: DATALOG_1.csv to DATALOG_2.csv written (2 files).");
  type("txtFilesPerSession", "1");
  world.messages.answer = true;  // DATALOG_1.csv already exists. Replace it? Yes.
  bool cleared = false;
  atEventPass(1, [&] { cleared = w<QLabel>("lblResult")->text().isEmpty(); });
  start()->click();
  EXPECT_TRUE(cleared);
  EXPECT_EQ(w<QLabel>("lblResult")->text(), "Last run: DATALOG_1.csv written.");
}

TEST_F(DatalogWindow, SecondClickCancelsAfterTheCurrentSample) {
  type("txtSamplesPerFile", "4");
  type("txtFilesPerSession", "3");
  // File 2's second sample is pass 1 + 4 + 1 + 2 = 8.
  atEventPass(8, [this] {
    start()->click();
    EXPECT_EQ(start()->text(), "Start Datalog");
  });
  start()->click();
  EXPECT_EQ(fileLines(logFile(1)).size(), 11u);
  const auto second = fileLines(logFile(2));
  ASSERT_EQ(second.size(), 9u);
  EXPECT_EQ(second.back().substr(0, 2), "2,");
  EXPECT_FALSE(fs::exists(logFile(3)));
  EXPECT_TRUE(field("txtSamplesPerFile")->isEnabled());
  EXPECT_EQ(w<QLabel>("lblResult")->text(),
            "Last run (cancelled): DATALOG_1.csv to DATALOG_2.csv written (2 files).");
}

TEST_F(DatalogWindow, ClosingDuringARunCancelsItWritesTheFileThenCloses) {
  type("txtSamplesPerFile", "100");
  // The close box, and Escape.
  for (const auto& closeWindow : {std::function<void()>([this] { window->close(); }),
                                  std::function<void()>([this] { window->reject(); })}) {
    window->show();
    atEventPass(3, [&] {
      closeWindow();
      EXPECT_TRUE(window->isVisible()) << "the window stays until the run has ended";
    });
    world.messages.shown.clear();
    start()->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->running());
    EXPECT_EQ(fileLines(logFile(1)).size(), 9u) << "two samples taken";
    // The result line closes with the window: a message says what became of the run.
    ASSERT_EQ(world.messages.shown.size(), 1u);
    EXPECT_EQ(world.messages.shown[0].text,
              "The log run was cancelled: its window was closed while it ran.\n\n"
              "DATALOG_1.csv holds the 2 samples taken before the cancel, of 100.\n\n"
              "The files are in " +
                  world.folder() + ".");
    fs::remove(logFile(1));
  }
  // Closed in the second file: the first is whole.
  type("txtSamplesPerFile", "2");
  type("txtFilesPerSession", "3");
  window->show();
  world.messages.shown.clear();
  atEventPass(5, [&] { window->close(); });
  start()->click();
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_NE(world.messages.shown[0].text.find("DATALOG_1.csv holds all its 2 samples.\n"
                                              "DATALOG_2.csv holds the 1 sample taken before "
                                              "the cancel, of 2."),
            std::string::npos)
      << world.messages.shown[0].text;
}

// Files of the run's names are settled before the first sample: the window asks, and a No
// leaves the earlier file and takes no sample; names the program could not read back are
// refused with a message.
TEST_F(DatalogWindow, ReplacingAnEarlierFileIsAskedAndUnreadableNamesAreRefused) {
  type("txtSamplesPerFile", "2");
  std::ofstream(logFile(1)) << "kept\n";
  for (const bool yes : {false, true}) {
    world.messages.shown.clear();
    world.messages.asked.clear();
    world.messages.answer = yes;
    start()->click();
    EXPECT_EQ(world.messages.asked,
              std::vector<std::string>{"DATALOG_1.csv already exists. Replace it?"});
    EXPECT_EQ(start()->text(), "Start Datalog");
    EXPECT_EQ(fileLines(logFile(1)).size(), yes ? 9u : 1u) << yes;
  }
  for (const char* name : {"run,A", "two\nlines"}) {
    world.messages.shown.clear();
    type("txtFileName", name);
    start()->click();
    ASSERT_EQ(world.messages.shown.size(), 1u) << name;
    EXPECT_NE(world.messages.shown[0].text.find("Please choose another file name"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(world.folder() + "/" + name + "_1.csv"));
    EXPECT_EQ(start()->text(), "Start Datalog");
  }
}

// A transport lost mid-run: the run ends at that sample and the window says so, and why.
TEST_F(DatalogWindow, ALostTransportEndsTheRunAndTheWindowSaysWhy) {
  type("txtSamplesPerFile", "50");
  world.ctx.settings.Interface = kInterfaceUsb;  // no card: every read fails
  world.ctx.usb.SelectedCard.Present = 0;
  start()->click();
  EXPECT_FALSE(fs::exists(logFile(1))) << "no file of a header alone";
  const QString result = w<QLabel>("lblResult")->text();
  EXPECT_NE(result.indexOf("The run ended early: the connection to the sensor failed while "
                           "the first sample of DATALOG_1.csv was read; the run ended there, "
                           "and no file was made of it"),
            -1)
      << result.toStdString();
}

// A termination signal cancels a run in whatever window loop it is nested.
TEST_F(DatalogWindow, TerminationCancelsTheRunningLogAndItsFileIsWritten) {
  type("txtSamplesPerFile", "100");
  atEventPass(3, [] { EXPECT_TRUE(frmDatalog::CancelRunningLogs()); });
  start()->click();
  EXPECT_FALSE(window->running());
  EXPECT_EQ(fileLines(logFile(1)).size(), 9u) << "two samples taken";
  EXPECT_TRUE(world.messages.shown.empty()) << "the program is ending: no window to answer";
  EXPECT_FALSE(frmDatalog::CancelRunningLogs());
}

// Through the main window: the Datalog menu opens the window, which ends the main read loop.
TEST_F(MainWindowTest, DatalogMenuOpensTheWindowAndEndsTheReadLoop) {
  load();
  AttachWindows(*form, world.ctx, presenter);
  ASSERT_TRUE(check("ckLoop")->isChecked());
  bool loopClearedWhileOpen = false;
  presenter.drive = [&](QDialog& dialog) {
    loopClearedWhileOpen = !check("ckLoop")->isChecked();
    EXPECT_TRUE(dialog.isVisible());
  };
  atEventPass(3, [this] { menu("mnuDatalog")->trigger(); });
  button("cmdReadData")->click();
  EXPECT_EQ(presenter.presented, std::vector<std::string>{"frmDatalog"});
  EXPECT_TRUE(loopClearedWhileOpen);
  EXPECT_EQ(readCaption(), "Read");
  EXPECT_FALSE(form->busy());
}

}  // namespace
}  // namespace vexa::ui::testing
