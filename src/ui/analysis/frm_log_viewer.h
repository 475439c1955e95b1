#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>

#include "analysis/allan_run.h"
#include "analysis/log_file.h"
#include "analysis/noise_characterisation.h"
#include "analysis/record_check.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace vexa {
struct AppContext;
}

namespace vexa::ui {

class AllanPlot;
class DensityPlot;
class LogPlot;

// "Log Viewer": opens log files (one, or the files of one session), plots the checked
// channels against time with statistics of the visible span, and computes their Allan
// deviations on a worker thread.
class frmLogViewer : public QDialog {
  Q_OBJECT
 public:
  explicit frmLogViewer(AppContext& ctx, QWidget* parent = nullptr);
  ~frmLogViewer() override;

  // Reads the files; on failure a message names the file and line, and the view keeps what
  // it showed.
  bool openFiles(const QStringList& paths);
  // Saves the plot of the tab shown as PNG or SVG, by the file's extension.
  bool exportPlot(const QString& path);
  // Starts the Allan deviation of the checked channels; `finished` runs when it ends.
  void computeAllan();
  // Waits for the worker and shows its result at once (tests; the window polls by itself).
  void finishAllanNow();
  // Writes the noise report (PDF) of the channels analysed last.
  bool writeReport(const QString& path);

  // Where the file dialogs come from; tests set these. Both start in `folder`; the export
  // dialog also says which file type was chosen (its filter text).
  std::function<QStringList(const QString& folder)> chooseFiles;
  std::function<QString(const QString& folder, QString& filter)> chooseExportFile;
  // Where the dialogs start: the folder of the record shown, else the datalog's folder.
  QString dialogFolder() const;
  std::function<QString()> chooseReportFile;

  const analysis::LogRecord& record() const { return record_; }
  LogPlot& plot() { return *plot_; }
  AllanPlot& allanPlot() { return *allanPlot_; }
  DensityPlot& densityPlot() { return *densityPlot_; }
  const std::vector<analysis::ChannelNoise>& noise() const { return noise_; }

 private:
  void buildTimeTab(QWidget* tab);
  void buildAllanTab(QWidget* tab);
  void buildDensityTab(QWidget* tab);
  void showNoiseFigures();
  void refreshSeries();
  void refreshStatistics();
  // The files' rate beside the field, and a warning when the typed one is far from it.
  void showRateCheck();
  void pollAllan();
  void showAllan();
  std::vector<int> checkedChannels() const;
  double rateFromField(bool& ok) const;
  // The read-off table as it is shown: rows of cells, the heading first.
  std::vector<QStringList> readOffRows() const;
  bool writeReadOffsCsv(const QString& path) const;
  // The record check of each channel just analysed (the files' own faults in every channel's).
  std::vector<std::vector<analysis::RecordFinding>> checkRecord(
      const std::vector<std::vector<analysis::AllanPoint>>& curves) const;
  // Shows why the record is not still and asks whether to analyse it anyway.
  bool analyseAnyway(const std::vector<std::vector<analysis::RecordFinding>>& findings);
  void clearAnalysis();

  AppContext& ctx_;
  analysis::LogRecord record_;
  std::vector<std::vector<double>> fresh_;  // per channel: what the Allan deviation takes
  analysis::AllanRun run_;
  std::vector<int> runChannels_;
  std::vector<double> runTau0_;
  std::vector<int64_t> runSamples_;
  double runRateHz_ = 0.0;  // the rate typed when the run started (0: the files')
  std::vector<analysis::ChannelNoise> noise_;  // the channels analysed last, fitted

  QTabWidget* tabs_ = nullptr;
  QPushButton* cmdOpen_ = nullptr;
  QPushButton* cmdAutoScale_ = nullptr;
  QPushButton* cmdExport_ = nullptr;
  QPushButton* cmdReport_ = nullptr;
  QLabel* lblFiles_ = nullptr;
  QListWidget* lstChannels_ = nullptr;
  LogPlot* plot_ = nullptr;
  QLabel* lblCursor_ = nullptr;
  QTableWidget* tblStats_ = nullptr;
  QLineEdit* txtRate_ = nullptr;
  QLabel* lblFilesRate_ = nullptr;
  QLabel* lblRateWarning_ = nullptr;
  QPushButton* cmdComputeAllan_ = nullptr;
  QPushButton* cmdCancelAllan_ = nullptr;
  QProgressBar* prgAllan_ = nullptr;
  AllanPlot* allanPlot_ = nullptr;
  QTableWidget* tblReadOffs_ = nullptr;
  QLabel* lblRecordCheck_ = nullptr;  // why the record analysed is not one of a sensor at rest
  QCheckBox* chkReadOffsCsv_ = nullptr;
  QTableWidget* tblNoiseModel_ = nullptr;
  DensityPlot* densityPlot_ = nullptr;
  QTimer* poll_ = nullptr;
};

// The export path with the chosen type's extension when it has none of the types offered
// ("plot" and "PNG image (*.png)" give "plot.png").
QString WithChosenExtension(const QString& path, const QString& filter);

}  // namespace vexa::ui
