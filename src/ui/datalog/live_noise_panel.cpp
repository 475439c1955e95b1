#include "ui/datalog/live_noise_panel.h"

#include <cstdio>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

#include "report/noise_plots.h"

namespace vexa::ui {

namespace {

std::string figureLine(const analysis::NoiseFigure& f, const char* name) {
  char text[96];
  if (f.resolved)
    std::snprintf(text, sizeof text, "%s %.3g ± %.2g %s", name, f.value, f.sigma, f.unit.c_str());
  else
    std::snprintf(text, sizeof text, "%s below %.3g %s", name, f.value, f.unit.c_str());
  return text;
}

std::string duration(double seconds) {
  const long long s = std::llround(std::max(0.0, seconds));
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

}  // namespace

// The live curves with their fits, redrawn from the last status.
class LiveCurveView : public QWidget {
 public:
  explicit LiveCurveView(QWidget* parent) : QWidget(parent) {
    setObjectName("picLiveCurve");
    setMinimumSize(300, 190);
  }
  void setStatus(const analysis::LiveNoiseStatus& s) {
    status_ = s;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    std::vector<report::PlottedNoise> plotted;
    for (size_t i = 0; i < status_.channels.size(); ++i)
      if (!status_.channels[i].noise.curve.empty())
        plotted.push_back({&status_.channels[i].noise, report::ChannelColor(i)});
    if (plotted.empty()) {
      painter.drawText(rect(), Qt::AlignCenter, "Allan deviation: waiting for samples");
      return;
    }
    report::DrawAllanWithFit(painter, QRectF(rect()), plotted);
  }

 private:
  analysis::LiveNoiseStatus status_;
};

LiveNoisePanel::LiveNoisePanel(QWidget* parent) : QGroupBox("Live Noise", parent) {
  setObjectName("FraLiveNoise");
  chkLiveNoise_ = new QCheckBox("Analyse the gyros and accelerometers while logging", this);
  chkLiveNoise_->setObjectName("chkLiveNoise");
  txtUntilResolved_ = new QLineEdit(this);
  txtUntilResolved_->setObjectName("txtUntilResolved");
  txtUntilResolved_->setPlaceholderText("Stop when resolved, e.g. X Gyro/B:10");
  curve_ = new LiveCurveView(this);
  lblLiveFigures_ = new QLabel(this);
  lblLiveFigures_->setObjectName("lblLiveFigures");
  lblLiveFigures_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblLiveFigures_->setWordWrap(true);
  // Room for two channels' figures from the start, so the window does not grow as they come.
  lblLiveFigures_->setMinimumHeight(5 * fontMetrics().lineSpacing());
  lblLiveFigures_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  lblLiveRecord_ = new QLabel(this);
  lblLiveRecord_->setObjectName("lblLiveRecord");
  lblLiveRecord_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chkLiveNoise_);
  layout->addWidget(txtUntilResolved_);
  layout->addWidget(curve_);
  layout->addWidget(lblLiveFigures_);
  layout->addWidget(lblLiveRecord_);
  layout->addStretch();
}

bool LiveNoisePanel::chosen() const {
  return chkLiveNoise_->isChecked() || !txtUntilResolved_->text().trimmed().isEmpty();
}

bool LiveNoisePanel::settings(const datalog::ChannelList& logged, analysis::LiveNoiseSettings& s,
                              std::string& error) const {
  s = {};
  for (int16_t index : logged)
    if (const datalog::LogChannel* c = datalog::ChannelOfRegister(index))
      if (std::string(c->caption).find("Gyro") != std::string::npos ||
          std::string(c->caption).find("Accel") != std::string::npos)
        s.channels.push_back(index);
  const std::string stop = txtUntilResolved_->text().trimmed().toStdString();
  if (!stop.empty()) {
    analysis::ResolveTarget target;
    if (!analysis::ParseResolveTarget(stop, target, error)) return false;
    s.targets.push_back(target);
  }
  datalog::ChannelList live;
  return analysis::LiveChannelsOf(s, logged, live, error);
}

void LiveNoisePanel::setRunning(bool running) {
  chkLiveNoise_->setEnabled(!running);
  txtUntilResolved_->setEnabled(!running);
}

void LiveNoisePanel::showStatus(const analysis::LiveNoiseStatus& s) {
  curve_->setStatus(s);
  std::string figures;
  double seconds = 0;
  for (const auto& c : s.channels) {
    seconds = std::max(seconds, c.seconds);
    if (!c.noise.model.ok) continue;
    figures += (figures.empty() ? "" : "\n") + c.noise.title + ": " +
               figureLine(c.noise.figures[analysis::kTermN], "N") + ", " +
               figureLine(c.noise.figures[analysis::kTermB], "B") + ", " +
               figureLine(c.noise.figures[analysis::kTermK], "K");
    if (c.warmUp.found) figures += "   (" + analysis::WarmUpText(c.warmUp) + ")";
  }
  lblLiveFigures_->setText(QString::fromStdString(figures));
  std::string record = "Record " + duration(seconds);
  for (const auto& t : s.targets) {
    record += " · " + analysis::ResolveTargetText(t.target) + ": ";
    char now[32];
    std::snprintf(now, sizeof now, "%.3g %%", t.percent.value_or(0));
    record += t.percent ? std::string(now) : std::string("not resolved yet");
    if (t.met)
      record += ", resolved";
    else if (t.secondsLeft)
      record += ", " + duration(*t.secondsLeft) + " left";
  }
  for (const auto& why : s.behind) record += "\n" + why;
  lblLiveRecord_->setText(QString::fromStdString(record));
}

}  // namespace vexa::ui
