#pragma once

// The datalog window's live noise panel: the choice to analyse the logged gyros and
// accelerometers while they are recorded, the figure that may end the run, and while it runs
// the Allan curve, the fitted figures with their uncertainty, the record's length and the time
// left.

#include <string>

#include <QGroupBox>

#include "analysis/live_noise_sink.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace vexa::ui {

class LiveCurveView;

class LiveNoisePanel : public QGroupBox {
 public:
  explicit LiveNoisePanel(QWidget* parent = nullptr);

  bool chosen() const;
  // The live settings for a run of `logged` channels: its gyros and accelerometers, and the
  // stop choice. False with `error` for a stop choice that cannot be read or names a channel
  // not logged.
  bool settings(const datalog::ChannelList& logged, analysis::LiveNoiseSettings& settings,
                std::string& error) const;
  void showStatus(const analysis::LiveNoiseStatus& status);
  void setRunning(bool running);

 private:
  QCheckBox* chkLiveNoise_ = nullptr;
  QLineEdit* txtUntilResolved_ = nullptr;
  LiveCurveView* curve_ = nullptr;
  QLabel* lblLiveFigures_ = nullptr;
  QLabel* lblLiveRecord_ = nullptr;
};

}  // namespace vexa::ui
