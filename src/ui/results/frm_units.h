#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "app/app_context.h"
#include "results/figure_limits.h"
#include "results/results_store.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vexa::ui {

class FigurePlot;

// "Units" (Tools menu): what the results store holds. The units with their newest run and how
// many figures they have; the selected unit's history (runs and calibration writes); one figure
// across all units as a strip plot with the limit from a limits file; a run's files opened in
// the Log Viewer (double-click or cmdOpenRun).
//
// Controls (objectName): txtDatabase (the store's address, kept in VexaEval.cfg) and
// cmdConnect; lblStoreState; tblUnits; tblHistory; cmdOpenRun; cboFigure; cmdLimits;
// lblLimits; picFigure; cmdRefresh.
class frmUnits : public QDialog {
  Q_OBJECT

 public:
  explicit frmUnits(AppContext& ctx, QWidget* parent = nullptr);

  // Reads the store again: units, the selected unit's history, the figure.
  void refresh();
  void selectUnit(const std::string& name);
  void selectFigure(const std::string& name);
  void loadLimits(const std::string& path);

  // Opens the Log Viewer on files; set by whoever opens the window.
  std::function<void(const std::vector<std::string>&)> openLogViewer;
  // Asks for a limits file (a file dialog); tests put their own in its place.
  std::function<QString()> chooseLimitsFile;

  const std::vector<results::UnitSummary>& units() const { return units_; }
  const std::vector<results::RunSummary>& history() const { return runs_; }

 private:
  void showHistory();
  void showFigure();
  void openSelectedRun();
  results::ResultsStore& store();

  AppContext& ctx_;
  std::unique_ptr<results::ResultsStore> store_;
  std::vector<results::UnitSummary> units_;
  std::vector<results::RunSummary> runs_;
  results::FigureLimits limits_;

  QLineEdit* txtDatabase_ = nullptr;
  QPushButton* cmdConnect_ = nullptr;
  QLabel* lblStoreState_ = nullptr;
  QTableWidget* tblUnits_ = nullptr;
  QTableWidget* tblHistory_ = nullptr;
  QPushButton* cmdOpenRun_ = nullptr;
  QComboBox* cboFigure_ = nullptr;
  QPushButton* cmdLimits_ = nullptr;
  QLabel* lblLimits_ = nullptr;
  FigurePlot* picFigure_ = nullptr;
  QPushButton* cmdRefresh_ = nullptr;
};

}  // namespace vexa::ui
