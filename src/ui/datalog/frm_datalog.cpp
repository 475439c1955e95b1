#include "ui/datalog/frm_datalog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "app/number_format.h"
#include "analysis/live_noise_sink.h"
#include "datalog/log_file_sink.h"
#include "datalog/log_folder.h"
#include "datalog/log_request.h"
#include "datalog/log_run.h"
#include "datalog/log_start_check.h"
#include "datalog/sampling.h"
#include "registers/register_pipeline.h"
#include "registers/sensor_check.h"
#include "results/results_store.h"
#include "ui/datalog/closed_run_text.h"
#include "ui/datalog/live_noise_panel.h"
#include "ui/results/unit_field.h"
#include "ui/services/qt_text.h"
#include "ui/services/text_width.h"

namespace vexa::ui {

namespace {

constexpr const char* kStart = "Start Datalog";
constexpr const char* kCancel = "Cancel Datalog";
constexpr const char* kBanner = "D A T A L O G    I N    P R O G R E S S";
constexpr const char* kNoSelection = "Please check at least one DATA SELECTION box.";
constexpr double kProgressInterval = 0.1;  // seconds between progress repaints

// Whether a field's text is wholly a finite number in the regional form, and its value read
// in that same form: "1,000" is a thousand where the comma groups digits, "0,5" a half where it
// is the decimal separator. The field shows the text as typed, so the run uses what it shows.
bool fieldValue(const std::string& text, double& value) {
  value = RegionalValue(text);
  return IsNumeric(text) && std::isfinite(value);
}

QLineEdit* field(QWidget* parent, const char* name, const char* text) {
  auto* e = new QLineEdit(text, parent);
  e->setObjectName(name);
  return e;
}

}  // namespace

// The run as the window sees it: the caption is the cancel flag, the File Number field and the
// progress line show where it is.
class frmDatalog::Host : public datalog::LogHost {
 public:
  explicit Host(frmDatalog& window) : w_(window) {}

  bool cancelRequested() override {
    return w_.cmdStartDatalog_->text() == kStart || (live_ != nullptr && live_->targetsMet());
  }
  void setLive(analysis::LiveNoiseSink* live) { live_ = live; }

  void fileWritten(const std::string& path) override { w_.lastRunFiles_.push_back(path); }

  void fileStarted(int64_t file) override {
    w_.txtFileNum_->setText(QString::number(file));
    shownAt_ = -1;
  }

  void progress(const datalog::LogProgress& p) override {
    const double now = w_.ctx_.clock().monotonicSeconds();
    if (shownAt_ >= 0 && now - shownAt_ < kProgressInterval && p.sample != 1 &&
        static_cast<double>(p.sample) < p.samplesPerFile)
      return;
    shownAt_ = now;
    w_.lblProgress_->setText(text(datalog::ProgressText(p)));
    w_.barProgress_->setValue(static_cast<int>(p.fraction * w_.barProgress_->maximum()));
    if (live_ != nullptr) w_.livePanel_->showStatus(live_->status());
  }

 private:
  frmDatalog& w_;
  analysis::LiveNoiseSink* live_ = nullptr;
  double shownAt_ = -1;
};

frmDatalog::frmDatalog(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("frmDatalog");
  setWindowTitle("Datalog Control");
  setModal(true);
  buildControls();
}

frmDatalog::~frmDatalog() = default;

void frmDatalog::buildControls() {
  // File set-up.
  FrameFilePref_ = new QGroupBox("FILE SETUP", this);
  FrameFilePref_->setObjectName("FrameFilePref");
  txtSamplesPerFile_ = field(FrameFilePref_, "txtSamplesPerFile", "");
  txtSampleDelay_ = field(FrameFilePref_, "txtSampleDelay", "");
  txtFilesPerSession_ = field(FrameFilePref_, "txtFilesPerSession", "");
  auto* pref = new QGridLayout(FrameFilePref_);
  pref->addWidget(new QLabel("Samples per File", FrameFilePref_), 0, 0);
  pref->addWidget(txtSamplesPerFile_, 0, 1);
  pref->addWidget(new QLabel("Sample Delay msec", FrameFilePref_), 1, 0);
  pref->addWidget(txtSampleDelay_, 1, 1);
  pref->addWidget(new QLabel("Files per Session", FrameFilePref_), 2, 0);
  pref->addWidget(txtFilesPerSession_, 2, 1);

  // File information.
  FrameFileInfo_ = new QGroupBox("FILE INFORMATION", this);
  FrameFileInfo_->setObjectName("FrameFileInfo");
  txtDirectory_ = field(FrameFileInfo_, "txtDirectory", "");
  txtDirectory_->setMinimumWidth(260);
  cmdBrowse_ = new QPushButton("Browse...", FrameFileInfo_);
  cmdBrowse_->setObjectName("cmdBrowse");
  cmdBrowse_->setAutoDefault(false);
  txtFileName_ = field(FrameFileInfo_, "txtFileName", "");
  lblFext_ = new QLabel(FrameFileInfo_);
  lblFext_->setObjectName("lblFext");
  txtFileNum_ = field(FrameFileInfo_, "txtFileNum", "1");
  txtFileNum_->setEnabled(false);
  auto* info = new QGridLayout(FrameFileInfo_);
  info->addWidget(new QLabel("Directory", FrameFileInfo_), 0, 0);
  info->addWidget(txtDirectory_, 0, 1);
  info->addWidget(cmdBrowse_, 0, 2);
  info->addWidget(new QLabel("File Name", FrameFileInfo_), 1, 0);
  info->addWidget(txtFileName_, 1, 1);
  info->addWidget(lblFext_, 1, 2);
  info->addWidget(new QLabel("File Number", FrameFileInfo_), 2, 0);
  info->addWidget(txtFileNum_, 2, 1);
  unitField_ = new UnitField(ctx_, FrameFileInfo_);
  info->addWidget(unitField_, 3, 0, 1, 3);

  // Units.
  FraDataFormat_ = new QGroupBox("Data Format", this);
  FraDataFormat_->setObjectName("FraDataFormat");
  OpLSB_ = new QRadioButton("LSB's", FraDataFormat_);
  OpLSB_->setObjectName("OpLSB");
  OpUnits_ = new QRadioButton("Scaled Units", FraDataFormat_);
  OpUnits_->setObjectName("OpUnits");
  auto* units = new QHBoxLayout(FraDataFormat_);
  units->addWidget(OpLSB_);
  units->addWidget(OpUnits_);
  units->addStretch();

  // Sampling: pipelined reads, and samples taken at the sensor's own rate.
  FraSampling_ = new QGroupBox("Sampling", this);
  FraSampling_->setObjectName("FraSampling");
  ckFastReads_ = new QCheckBox("Fast Reads", FraSampling_);
  ckFastReads_->setObjectName("ckFastReads");
  ckFastReads_->setToolTip("Read the channels pipelined: N channels in N + 1 frames");
  ckDataReady_ = new QCheckBox("Wait for New Data", FraSampling_);
  ckDataReady_->setObjectName("ckDataReady");
  ckDataReady_->setToolTip(
      "Take each sample when the first selected channel has a new one, instead of after the "
      "sample delay");
  auto* sampling = new QVBoxLayout(FraSampling_);
  sampling->addWidget(ckFastReads_);
  sampling->addWidget(ckDataReady_);

  // Channels.
  FrameDataSelection_ = new QGroupBox("DATA SELECTION", this);
  FrameDataSelection_->setObjectName("FrameDataSelection");
  auto* boxes = new QVBoxLayout(FrameDataSelection_);
  for (int i = 1; i <= kBoxes; ++i) {
    CheckReg_[i] = new QCheckBox(datalog::kLogChannels[i - 1].caption, FrameDataSelection_);
    CheckReg_[i]->setObjectName(QString("CheckReg_%1").arg(i));
    boxes->addWidget(CheckReg_[i]);
  }

  // Start / Cancel, banner and progress.
  cmdStartDatalog_ = new QPushButton(kStart, this);
  cmdStartDatalog_->setObjectName("cmdStartDatalog");
  cmdStartDatalog_->setAutoDefault(false);
  cmdStartDatalog_->setMinimumHeight(32);
  LBLDatalogInProgress_ = new QLabel(kBanner, this);
  LBLDatalogInProgress_->setObjectName("LBLDatalogInProgress");
  LBLDatalogInProgress_->setAlignment(Qt::AlignCenter);
  LBLDatalogInProgress_->setStyleSheet("color: #b00000; font-weight: bold;");
  lblProgress_ = new QLabel(this);
  lblProgress_->setObjectName("lblProgress");
  lblProgress_->setAlignment(Qt::AlignCenter);
  barProgress_ = new QProgressBar(this);
  barProgress_->setObjectName("barProgress");
  barProgress_->setRange(0, 1000);
  barProgress_->setTextVisible(false);
  barProgress_->setMaximumHeight(12);
  // The run's lines keep their place while hidden, so the window does not jump when it starts.
  for (QWidget* w :
       std::initializer_list<QWidget*>{LBLDatalogInProgress_, lblProgress_, barProgress_}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
    w->hide();
  }

  // Under the units, in the room beside the channel boxes: what the last run wrote.
  lblResult_ = new QLabel(this);
  lblResult_->setObjectName("lblResult");
  lblResult_->setWordWrap(true);
  lblResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* left = new QVBoxLayout;
  left->addWidget(FrameFilePref_);
  left->addWidget(FrameFileInfo_);
  left->addWidget(FraDataFormat_);
  left->addWidget(FraSampling_);
  left->addWidget(lblResult_);
  left->addStretch();
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addWidget(FrameDataSelection_);
  livePanel_ = new LiveNoisePanel(this);
  top->addWidget(livePanel_);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addWidget(LBLDatalogInProgress_);
  all->addWidget(lblProgress_);
  all->addWidget(barProgress_);
  all->addWidget(cmdStartDatalog_);
  cmdViewLogs_ = new QPushButton("View Logs...", this);
  cmdViewLogs_->setObjectName("cmdViewLogs");
  cmdViewLogs_->setAutoDefault(false);
  all->addWidget(cmdViewLogs_);
  all->setSizeConstraint(QLayout::SetFixedSize);

  connect(txtSampleDelay_, &QLineEdit::textChanged, this, [this] { txtSampleDelay_Change(); });
  connect(txtSamplesPerFile_, &QLineEdit::textChanged, this,
          [this] { txtSamplesPerFile_Change(); });
  connect(txtFilesPerSession_, &QLineEdit::textChanged, this,
          [this] { txtFilesPerSession_Change(); });
  connect(txtDirectory_, &QLineEdit::textChanged, this, [this] { txtDirectory_Change(); });
  connect(txtFileName_, &QLineEdit::textChanged, this, [this] { txtFileName_Change(); });
  connect(cmdBrowse_, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
  chooseFolder = [this](const QString& start) {
    return QFileDialog::getExistingDirectory(this, "Datalog folder", start);
  };
  connect(cmdStartDatalog_, &QPushButton::clicked, this, [this] { cmdStartDatalog_Click(); });
  connect(cmdViewLogs_, &QPushButton::clicked, this, [this] {
    if (openLogViewer) openLogViewer(lastRunFiles_);
  });
}

void frmDatalog::Form_Load() {
  txtSamplesPerFile_->setText("1000");
  txtSampleDelay_->setText("0");
  txtFilesPerSession_->setText("1");
  directory_ = datalog::ChosenLogDirectory(ctx_);
  showDirectory();
  fileName_ = datalog::kDefaultLogName;
  txtFileName_->setText(text(fileName_));
  txtFileNum_->setEnabled(false);
  LBLDatalogInProgress_->hide();
  if (clearMainLoop) clearMainLoop();
  lblFext_->setText(text(datalog::LogFormat::forLocale(QLocale()).extension));
  OpUnits_->setChecked(true);
  ckFastReads_->setChecked(PipelinedReadsChosen(ctx_));
  ckDataReady_->setChecked(false);
  for (int i = 1; i <= kBoxes; ++i) CheckReg_[i]->setChecked(i == XGYRO_OUT);
}

// Field rules: each runs on every change of its field's text; a text a rule puts in runs the
// rule again, which then accepts it.

void frmDatalog::txtSampleDelay_Change() {
  double v = 0;
  if (!fieldValue(str(txtSampleDelay_->text()), v))
    txtSampleDelay_->setText("0");
  else if (v > 32000)
    txtSampleDelay_->setText("32000");
  else if (v < 0)
    txtSampleDelay_->setText("0");
}

void frmDatalog::txtSamplesPerFile_Change() {
  double v = 0;
  if (!fieldValue(str(txtSamplesPerFile_->text()), v))
    txtSamplesPerFile_->setText("1000");
  else if (v < 1)
    txtSamplesPerFile_->setText("1");
  else if (v > 2147483647.0)
    txtSamplesPerFile_->setText("2147483647");
  else
    samplesPerFile_ = v;
}

void frmDatalog::txtFilesPerSession_Change() {
  double v = 0;
  if (!fieldValue(str(txtFilesPerSession_->text()), v))
    txtFilesPerSession_->setText("1");
  else if (v < 1)
    txtFilesPerSession_->setText("1");
  else if (v > 2000000000.0)
    txtFilesPerSession_->setText("2000000000");
  else
    filesPerSession_ = v;
}

void frmDatalog::showDirectory() {
  // The whole path stays readable, up to most of the screen's width.
  int widest = 900;
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    widest = screen->availableGeometry().width() * 2 / 3;
  txtDirectory_->setText(text(directory_));
  txtDirectory_->setToolTip(text(directory_));
  ReserveTextWidth(txtDirectory_, text(directory_));
  txtDirectory_->setMinimumWidth(std::clamp(txtDirectory_->minimumWidth(), 260, widest));
}

void frmDatalog::cmdBrowse_Click() {
  if (running_ || !chooseFolder) return;
  const QString chosen = chooseFolder(text(directory_));
  if (chosen.isEmpty()) return;
  const std::string before = ctx_.preferences.text(datalog::kLogFolderKey);
  datalog::RememberLogDirectory(ctx_, str(chosen));
  if (datalog::ChosenLogDirectory(ctx_) != str(chosen)) {
    datalog::RememberLogDirectory(ctx_, before);
    ctx_.messages().show(
        "Datalog Control",
        "The files cannot be written in " + str(chosen) + ". The folder stays " + directory_ + ".",
        MessageIcon::Warning);
    return;
  }
  directory_ = str(chosen);
  showDirectory();
}

void frmDatalog::txtDirectory_Change() {
  if (txtDirectory_->text() != text(directory_)) txtDirectory_->setText(text(directory_));
}

void frmDatalog::txtFileName_Change() {
  fileName_ = str(txtFileName_->text());
}

void frmDatalog::cmdStartDatalog_Click() {
  bool any = false;
  for (int i = 1; i <= kBoxes; ++i) any = any || CheckReg_[i]->isChecked();
  if (!any) {
    ctx_.messages().show("", kNoSelection, MessageIcon::None);
    return;
  }
  if (cmdStartDatalog_->text() == kStart && !running_) {
    WarnUnlessSensorPresent(ctx_);
    cmdStartDatalog_->setText(kCancel);
    RunDatalog();
  } else if (cmdStartDatalog_->text() == kCancel) {
    cmdStartDatalog_->setText(kStart);
  }
}

void frmDatalog::setRunning(bool running) {
  running_ = running;
  LBLDatalogInProgress_->setVisible(running);
  lblProgress_->setVisible(running);
  barProgress_->setVisible(running);
  if (running) {
    lblProgress_->clear();
    barProgress_->setValue(0);
  }
  for (int i = 1; i <= kBoxes; ++i) CheckReg_[i]->setEnabled(!running);
  for (QWidget* w : std::initializer_list<QWidget*>{
           OpUnits_, OpLSB_, txtSamplesPerFile_, txtSampleDelay_, txtFilesPerSession_,
           txtDirectory_, cmdBrowse_, txtFileName_, ckFastReads_, ckDataReady_})
    w->setEnabled(!running);
  cmdViewLogs_->setEnabled(!running);
  if (!running) cmdStartDatalog_->setText(kStart);
}

namespace {

// "Last run: DATALOG_1.csv to DATALOG_3.csv written (3 files)." and the like; a failure has
// been shown in a message box, so only the files that were written are named here.
QString resultText(const datalog::LogResult& result) {
  const auto& files = result.filesWritten;
  const QString how =
      result.outcome == datalog::LogOutcome::Cancelled ? "Last run (cancelled): " : "Last run: ";
  // A run that ended before its end says so, and why, whatever it wrote.
  const QString early = result.endedEarly.empty()
                            ? QString()
                            : "\nThe run ended early: " + text(result.endedEarly) + ".";
  if (files.empty())
    return result.outcome == datalog::LogOutcome::Cancelled ? how + "no file written." + early
                                                            : early.trimmed();
  auto name = [](const std::string& path) { return QFileInfo(text(path)).fileName(); };
  if (files.size() == 1) return how + name(files.front()) + " written." + early;
  return how +
         QString("%1 to %2 written (%3 files).")
             .arg(name(files.front()), name(files.back()))
             .arg(files.size()) +
         early;
}

}  // namespace

void frmDatalog::RunDatalog() {
  datalog::LogRequest request;
  // The fields take a fraction as typed; the run takes the whole samples and files below it.
  request.samplesPerFile = std::floor(samplesPerFile_);
  request.files = std::floor(filesPerSession_);
  request.sampleDelayMs = RegionalValue(str(txtSampleDelay_->text()));
  request.name = fileName_;
  request.units = OpUnits_->isChecked() ? datalog::LogUnits::Scaled : datalog::LogUnits::Lsb;
  for (int i = 1; i <= kBoxes; ++i)
    if (CheckReg_[i]->isChecked()) request.channels.push_back(static_cast<int16_t>(i));
  request.directory = directory_;
  datalog::LogSettings s = datalog::BuildLogSettings(ctx_, request);
  const datalog::LogFormat format = datalog::LogFormat::forLocale(s.locale);
  lblFext_->setText(text(format.extension));

  // Names the program could not read back, and files of the same names, are settled before the
  // first sample.
  const datalog::LogStartCheck check =
      datalog::CheckLogStart(s, {"Samples per File", "Files per Session", "Sample Delay msec"});
  if (!check.limitProblem.empty()) {
    // The fields keep their values within the limits; this is a last guard, said plainly.
    ctx_.messages().show(kApplicationTitle, check.limitProblem + ".", MessageIcon::Warning);
    cmdStartDatalog_->setText(kStart);
    return;
  }
  if (!check.nameProblem.empty()) {
    ctx_.messages().show(kApplicationTitle,
                         "Please choose another file name: " + check.nameProblem + ".",
                         MessageIcon::Warning);
    cmdStartDatalog_->setText(kStart);
    return;
  }
  const auto& taken = check.taken;
  if (!taken.empty()) {
    std::string question = taken.front() + " already exists. Replace it?";
    if (taken.size() > 1)
      question += "\n\n" + std::to_string(taken.size() - 1) +
                  " more files of this run are there too; they are replaced as well.";
    if (!ctx_.messages().ask(kApplicationTitle, question)) {
      cmdStartDatalog_->setText(kStart);
      return;
    }
    s.replaceExisting = true;
  }
  std::optional<analysis::LiveNoiseSettings> liveSettings;
  if (livePanel_->chosen()) {
    std::string error;
    if (!livePanel_->settings(s.channels, liveSettings.emplace(), error)) {
      ctx_.messages().show(kApplicationTitle, "Live noise: " + error + ".", MessageIcon::Warning);
      cmdStartDatalog_->setText(kStart);
      return;
    }
  }
  const datalog::LogSettings recorded = s;
  const datalog::SamplingChoice sampling{ckFastReads_->isChecked(), ckDataReady_->isChecked()};
  const std::string started = results::UtcNow();

  lastRunFiles_.clear();
  setRunning(true);
  lblResult_->clear();
  Host host(*this);
  datalog::LogRun run(ctx_, std::move(s), host);
  datalog::ChooseSampling(run, sampling);
  // The live analysis sits between the run and its file writer.
  std::optional<datalog::LogFileSink> files;
  std::unique_ptr<analysis::LiveNoiseSink> live;
  if (liveSettings) {
    files.emplace(ctx_.platform.files != nullptr ? *ctx_.platform.files : SystemFileOps(),
                  ctx_.clock());
    live = std::make_unique<analysis::LiveNoiseSink>(*files, ctx_.clock(), *liveSettings);
    run.setSink(*live);
    host.setLive(live.get());
  }
  livePanel_->setRunning(true);
  const datalog::LogResult result = run.run();
  livePanel_->setRunning(false);
  if (live) livePanel_->showStatus(live->finish());
  QString said = resultText(result);
  if (live && live->targetsMet() && result.outcome == datalog::LogOutcome::Cancelled)
    said.replace("(cancelled)", "(ended: the figure was resolved)");
  lblResult_->setText(said);
  setRunning(false);
  unitField_->keepRun(started, recorded, sampling, result);
  if (closeAfterRun_) {
    closeAfterRun_ = false;
    // Closed by the user (not by the program's own end): the result line goes with the window.
    if (closedByUser_ && result.outcome == datalog::LogOutcome::Cancelled)
      ctx_.messages().show(kApplicationTitle, ClosedRunText(result, samplesPerFile_),
                           MessageIcon::Information);
    closedByUser_ = false;
    close();
  }
}

bool frmDatalog::deferCloseWhileRunning() {
  if (!running_) return false;
  closeAfterRun_ = true;
  cmdStartDatalog_->setText(kStart);  // the run ends after its current sample
  return true;
}

bool frmDatalog::CancelRunningLogs() {
  bool any = false;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* log = qobject_cast<frmDatalog*>(w);
    if (log != nullptr && log->running()) any = log->deferCloseWhileRunning() || any;
  }
  return any;
}

void frmDatalog::closeEvent(QCloseEvent* event) {
  if (deferCloseWhileRunning()) {
    closedByUser_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void frmDatalog::reject() {
  if (deferCloseWhileRunning()) {
    closedByUser_ = true;
    return;
  }
  QDialog::reject();
}

}  // namespace vexa::ui
