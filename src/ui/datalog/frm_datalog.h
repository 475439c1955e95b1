#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <QDialog>

#include "app/app_context.h"
#include "datalog/log_file_format.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace vexa::ui {

class UnitField;
class LiveNoisePanel;

// "Datalog Control": sets up a log run (channels, units, samples per file, sample delay, files,
// file name) and runs it (datalog::LogRun), the Start button turning into Cancel meanwhile.
// Unloaded when closed: every opening starts from the defaults.
//
// Controls (objectName): frames FrameFilePref, FrameFileInfo, FraDataFormat,
// FrameDataSelection; fields txtSamplesPerFile, txtSampleDelay, txtFilesPerSession,
// txtDirectory, txtFileName, txtFileNum; label lblFext; options OpLSB, OpUnits; check boxes
// CheckReg_1 .. CheckReg_12 (register index 1 .. 12); frame FraSampling with the check boxes
// ckFastReads (pipelined reads) and ckDataReady (each sample waits for the sensor's next one
// instead of the sample delay); button cmdStartDatalog; banner
// LBLDatalogInProgress; the unit txtUnit (results store); while a run lasts, beside the banner,
// lblProgress and barProgress.
class frmDatalog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kBoxes = datalog::kChannelCount;

  explicit frmDatalog(AppContext& ctx, QWidget* parent = nullptr);
  ~frmDatalog() override;

  // What happens when the window loads: defaults, folder, extension, and the main window's Loop
  // box cleared (through clearMainLoop).
  void Form_Load();

  void cmdStartDatalog_Click();
  // Runs the log with the window's settings; returns when the run has ended.
  void RunDatalog();

  bool running() const { return running_; }
  double samplesPerFile() const { return samplesPerFile_; }
  double filesPerSession() const { return filesPerSession_; }
  const std::string& fileName() const { return fileName_; }

  // Unchecks the main window's Loop box; set by whoever opens the window.
  std::function<void()> clearMainLoop;
  // Opens the Log Viewer on the files of the last run (none before a run); set by whoever opens
  // the window. The "View Logs..." button (cmdViewLogs) calls it.
  std::function<void(const std::vector<std::string>&)> openLogViewer;
  const std::vector<std::string>& lastRunFiles() const { return lastRunFiles_; }
  // Asks for the folder the files go to, starting in `start`; empty when the user cancels.
  // "Browse..." (cmdBrowse) calls it; tests set it.
  std::function<QString(const QString& start)> chooseFolder;
  const std::string& directory() const { return directory_; }

  // Cancels every log run in progress in this program, each window closing once its run has
  // kept its file (a termination signal, whatever window loop the run is nested in). True when
  // there was one.
  static bool CancelRunningLogs();

 protected:
  void closeEvent(QCloseEvent* event) override;

 public slots:
  void reject() override;

 private:
  class Host;

  void buildControls();
  void txtSampleDelay_Change();
  void txtSamplesPerFile_Change();
  void txtFilesPerSession_Change();
  void txtDirectory_Change();
  void cmdBrowse_Click();
  void showDirectory();
  void txtFileName_Change();
  void setRunning(bool running);
  // A close asked for during a run: cancel, and close once the run has ended.
  bool deferCloseWhileRunning();

  AppContext& ctx_;
  std::string directory_;
  std::string fileName_;
  double samplesPerFile_ = 0;
  double filesPerSession_ = 0;
  bool running_ = false;
  bool closeAfterRun_ = false;
  bool closedByUser_ = false;  // the close box or Escape, not a termination signal
  std::vector<std::string> lastRunFiles_;

  QGroupBox* FrameFilePref_ = nullptr;
  QLineEdit* txtSamplesPerFile_ = nullptr;
  QLineEdit* txtSampleDelay_ = nullptr;
  QLineEdit* txtFilesPerSession_ = nullptr;
  QGroupBox* FrameFileInfo_ = nullptr;
  QLineEdit* txtDirectory_ = nullptr;
  QPushButton* cmdBrowse_ = nullptr;
  QLineEdit* txtFileName_ = nullptr;
  QLabel* lblFext_ = nullptr;
  QLineEdit* txtFileNum_ = nullptr;
  QGroupBox* FraDataFormat_ = nullptr;
  QRadioButton* OpLSB_ = nullptr;
  QRadioButton* OpUnits_ = nullptr;
  QGroupBox* FraSampling_ = nullptr;
  QCheckBox* ckFastReads_ = nullptr;
  QCheckBox* ckDataReady_ = nullptr;
  QGroupBox* FrameDataSelection_ = nullptr;
  std::array<QCheckBox*, kBoxes + 1> CheckReg_{};  // element 0 unused
  QPushButton* cmdStartDatalog_ = nullptr;
  QPushButton* cmdViewLogs_ = nullptr;
  QLabel* LBLDatalogInProgress_ = nullptr;
  QLabel* lblProgress_ = nullptr;
  QProgressBar* barProgress_ = nullptr;
  QLabel* lblResult_ = nullptr;     // which files the last run wrote
  UnitField* unitField_ = nullptr;  // the unit the run is recorded under, and the store's state
  LiveNoisePanel* livePanel_ = nullptr;  // the noise of the run's samples while it lasts
};

}  // namespace vexa::ui
