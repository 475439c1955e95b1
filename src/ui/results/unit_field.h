#pragma once

#include <string>

#include <QWidget>

#include "app/app_context.h"
#include "datalog/log_run.h"
#include "datalog/sampling.h"
#include "results/result_records.h"

class QLabel;
class QLineEdit;

namespace vexa::ui {

// "Unit": the module's name in the results store, remembered in VexaEval.cfg, with the store's
// state beside it ("results store: offline, 3 records waiting"). The windows that record work
// carry one and hand it what they did once it is done. It reads the product number (PROD_ID)
// once, when it is made.
//
// Controls (objectName): txtUnit, lblResultsStore.
class UnitField : public QWidget {
  Q_OBJECT

 public:
  explicit UnitField(AppContext& ctx, QWidget* parent = nullptr);

  std::string unit() const;
  void keepRun(const std::string& started, const datalog::LogSettings& settings,
               const datalog::SamplingChoice& sampling, const datalog::LogResult& result);
  // A calibration write of `kind`, its registers before and after.
  void keepCalibration(results::CalibrationKind kind,
                       const std::vector<results::RegisterChange>& registers);

 private:
  void showState(const std::string& state);

  AppContext& ctx_;
  // Read when the window opens: the work recorded later may leave the bus alone (a flash
  // update reads nothing back) or find the module gone.
  std::string product_;
  QLineEdit* txtUnit_ = nullptr;
  QLabel* lblResultsStore_ = nullptr;
};

}  // namespace vexa::ui
