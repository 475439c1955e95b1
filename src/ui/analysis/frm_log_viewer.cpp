#include "ui/analysis/frm_log_viewer.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/record_check.h"
#include "analysis/record_series.h"
#include "analysis/span_statistics.h"
#include "app/app_context.h"
#include "app/atomic_file.h"
#include "app/typed_number.h"
#include "datalog/log_folder.h"
#include "report/noise_plots.h"
#include "report/noise_report.h"
#include "ui/analysis/allan_plot.h"
#include "ui/analysis/density_plot.h"
#include "ui/analysis/log_plot.h"
#include "ui/services/region.h"
#include "ui/services/screen_fit.h"

namespace vexa::ui {

namespace {

const QColor kColors[] = {QColor(38, 94, 160),  QColor(200, 70, 40),  QColor(40, 140, 70),
                          QColor(150, 60, 160), QColor(200, 140, 20), QColor(20, 150, 160),
                          QColor(120, 80, 40),  QColor(90, 90, 90),   QColor(220, 60, 130),
                          QColor(60, 60, 200),  QColor(110, 160, 30), QColor(160, 40, 40)};

// Numbers a person reads: in the region's form (files keep theirs).
QString number(double v) {
  return Region().toString(v, 'g', 6);
}

// A noise figure: four significant digits, as the report states them, in the region's form.
QString figure(double v) {
  return std::isfinite(v) ? Region().toString(v, 'g', 4) : QString("-");
}

// What the read-off table is, in the window and in the exported image: the figures to quote
// are the fitted model's.
constexpr const char* kQuickReadOffsCaption = "Quick read-offs from the curve's slopes";

// A typed rate further than this share from the files' own is most likely another rate (the
// sensor's sample rate rather than the record's reads per second).
constexpr double kRateTolerance = 0.10;

// A channel as a person names it: its data-selection caption ("X Gyro"), not the file's column
// title, where the reader knows one.
QString channelName(const analysis::LogChannel& ch) {
  return QString::fromStdString(ch.caption.empty() ? ch.title : ch.caption);
}

// What every figure of a record that failed the record check carries, as vexa-cli prints it.
QString notStillMark(const analysis::ChannelNoise& n) {
  return n.still() ? QString() : QString(" [%1]").arg(analysis::kRecordNotStill);
}

QTableWidgetItem* cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  item->setToolTip(text);
  return item;
}

// Columns as wide as their contents when the table holds them all, else narrowed in proportion
// to share its width (the cells wrap; the user can widen a column again).
void fitColumns(QTableWidget& table) {
  table.resizeColumnsToContents();
  const int columns = table.columnCount();
  int wanted = 0;
  for (int c = 0; c < columns; ++c) wanted += table.columnWidth(c);
  const int room = table.viewport()->width();
  if (wanted > room && wanted > 0) {
    // The longest word of a column is the least it can take without cutting a word.
    const QFontMetrics fm(table.font());
    for (int c = 0; c < columns; ++c) {
      int longestWord = 0;
      for (int r = -1; r < table.rowCount(); ++r) {
        const QTableWidgetItem* item = r < 0 ? table.horizontalHeaderItem(c) : table.item(r, c);
        if (item == nullptr) continue;
        for (const QString& word : item->text().split(QRegularExpression("\\s+")))
          longestWord = std::max(longestWord, fm.horizontalAdvance(word) + 12);
      }
      table.setColumnWidth(c, std::max(longestWord, table.columnWidth(c) * room / wanted));
    }
  }
  table.resizeRowsToContents();
}

// A read-off row whose only text after the channel is its second cell: the words that stand in
// where the curve tells no figures, written across the row as the window spans them.
bool RunsAcross(const QStringList& row) {
  for (int c = 2; c < row.size(); ++c)
    if (!row[c].isEmpty()) return false;
  return row.size() > 2;
}

// Where each column of an exported table begins, and (last) where the table ends: every column
// as wide as its widest text, so that no figure nor its mark is cut; spread to `width` when the
// table is narrower.
std::vector<int> ColumnLefts(const std::vector<QStringList>& table, const QFontMetrics& fm,
                             int width) {
  if (table.empty()) return {};
  const int columns = int(table.front().size());
  std::vector<int> widths(size_t(columns), 0);
  int acrossWidth = 0;
  for (size_t r = 0; r < table.size(); ++r) {
    const bool across = r > 0 && RunsAcross(table[r]);
    for (int c = 0; c < columns && c < table[r].size(); ++c) {
      const int wanted = fm.horizontalAdvance(table[r][c]) + 12;
      if (across && c == 1)
        acrossWidth = std::max(acrossWidth, wanted);
      else
        widths[size_t(c)] = std::max(widths[size_t(c)], wanted);
    }
  }
  int rest = 0;
  for (int c = 1; c < columns; ++c) rest += widths[size_t(c)];
  if (acrossWidth > rest && columns > 1) widths[1] += acrossWidth - rest;
  int total = 0;
  for (int w : widths) total += w;
  const int spare = std::max(0, width - total) / std::max(1, columns);
  std::vector<int> lefts{0};
  for (int w : widths) lefts.push_back(lefts.back() + w + spare);
  return lefts;
}

}  // namespace

frmLogViewer::frmLogViewer(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("frmLogViewer");
  setWindowTitle("Log Viewer");
  auto* outer = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  cmdOpen_ = new QPushButton("Open...", this);
  cmdOpen_->setObjectName("cmdOpen");
  cmdAutoScale_ = new QPushButton("Auto Scale", this);
  cmdAutoScale_->setObjectName("cmdAutoScale");
  cmdExport_ = new QPushButton("Export...", this);
  cmdExport_->setObjectName("cmdExport");
  cmdReport_ = new QPushButton("Report...", this);
  cmdReport_->setObjectName("cmdReport");
  cmdReport_->setEnabled(false);
  lblFiles_ = new QLabel("No file open", this);
  lblFiles_->setObjectName("lblFiles");
  top->addWidget(cmdOpen_);
  top->addWidget(cmdAutoScale_);
  top->addWidget(cmdExport_);
  top->addWidget(cmdReport_);
  top->addWidget(lblFiles_, 1);
  outer->addLayout(top);

  auto* split = new QSplitter(this);
  lstChannels_ = new QListWidget(split);
  lstChannels_->setObjectName("lstChannels");
  lstChannels_->setMaximumWidth(180);
  tabs_ = new QTabWidget(split);
  tabs_->setObjectName("tabViews");
  auto* timeTab = new QWidget;
  auto* allanTab = new QWidget;
  buildTimeTab(timeTab);
  auto* densityTab = new QWidget;
  buildAllanTab(allanTab);
  buildDensityTab(densityTab);
  tabs_->addTab(timeTab, "Time");
  tabs_->addTab(allanTab, "Allan Deviation");
  tabs_->addTab(densityTab, "Noise Density");
  // A table laid out while its tab was hidden had no width of its own to share.
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == 2 && tblNoiseModel_->rowCount() > 0) fitColumns(*tblNoiseModel_);
  });
  split->setStretchFactor(1, 1);
  split->setSizes({150, 950});
  outer->addWidget(split, 1);

  poll_ = new QTimer(this);
  poll_->setInterval(50);
  connect(poll_, &QTimer::timeout, this, &frmLogViewer::pollAllan);

  chooseFiles = [this](const QString& folder) {
    return QFileDialog::getOpenFileNames(this, "Open log files", folder,
                                         "Log files (*.csv *.txt);;All files (*)");
  };
  chooseExportFile = [this](const QString& folder, QString& filter) {
    return QFileDialog::getSaveFileName(this, "Export plot", folder,
                                        "PNG image (*.png);;SVG drawing (*.svg)", &filter);
  };
  connect(cmdOpen_, &QPushButton::clicked, this, [this] {
    const QStringList files = chooseFiles(dialogFolder());
    if (!files.isEmpty()) openFiles(files);
  });
  connect(cmdAutoScale_, &QPushButton::clicked, plot_, &LogPlot::autoScale);
  // Nothing to export before a record is open.
  cmdExport_->setEnabled(false);
  connect(cmdExport_, &QPushButton::clicked, this, [this] {
    QString filter;
    const QString file = chooseExportFile(dialogFolder(), filter);
    if (!file.isEmpty()) exportPlot(WithChosenExtension(file, filter));
  });
  chooseReportFile = [this] {
    return QFileDialog::getSaveFileName(this, "Noise report", "report.pdf", "PDF (*.pdf)");
  };
  connect(cmdReport_, &QPushButton::clicked, this, [this] {
    const QString file = chooseReportFile();
    if (!file.isEmpty()) writeReport(file);
  });
  connect(lstChannels_, &QListWidget::itemChanged, this, [this] { refreshSeries(); });
  FitToScreen(*this, QSize(1100, 720));
}

frmLogViewer::~frmLogViewer() = default;

void frmLogViewer::buildTimeTab(QWidget* tab) {
  auto* v = new QVBoxLayout(tab);
  plot_ = new LogPlot(tab);
  lblCursor_ = new QLabel(" ", tab);
  lblCursor_->setObjectName("lblCursor");
  tblStats_ = new QTableWidget(0, 7, tab);
  tblStats_->setObjectName("tblStats");
  tblStats_->setHorizontalHeaderLabels(
      {"Channel", "Units", "Samples", "Mean", "Std Dev", "Min", "Max"});
  tblStats_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  tblStats_->verticalHeader()->hide();
  tblStats_->setMaximumHeight(130);
  v->addWidget(plot_, 1);
  v->addWidget(lblCursor_);
  v->addWidget(new QLabel("Statistics of the visible span:", tab));
  v->addWidget(tblStats_);
  connect(plot_, &LogPlot::viewChanged, this, &frmLogViewer::refreshStatistics);
  connect(plot_, &LogPlot::cursorMoved, lblCursor_, &QLabel::setText);
}

void frmLogViewer::buildAllanTab(QWidget* tab) {
  auto* v = new QVBoxLayout(tab);
  auto* row = new QHBoxLayout;
  auto* rateCaption = new QLabel("Reads per second", tab);
  rateCaption->setObjectName("lblRate");
  row->addWidget(rateCaption);
  txtRate_ = new QLineEdit(tab);
  txtRate_->setObjectName("txtRate");
  txtRate_->setPlaceholderText("the files'");
  txtRate_->setToolTip(
      "How many samples a second the record holds (the log's reads per second), not the "
      "sensor's own sample rate. Empty: the rate the files give.");
  rateCaption->setToolTip(txtRate_->toolTip());
  txtRate_->setMaximumWidth(90);
  lblFilesRate_ = new QLabel(tab);
  lblFilesRate_->setObjectName("lblFilesRate");
  lblRateWarning_ = new QLabel(tab);
  lblRateWarning_->setObjectName("lblRateWarning");
  lblRateWarning_->setStyleSheet("color: #b03020;");
  lblRateWarning_->setWordWrap(true);
  lblRateWarning_->hide();
  cmdComputeAllan_ = new QPushButton("Compute", tab);
  cmdComputeAllan_->setObjectName("cmdComputeAllan");
  cmdCancelAllan_ = new QPushButton("Cancel", tab);
  cmdCancelAllan_->setObjectName("cmdCancelAllan");
  cmdCancelAllan_->setEnabled(false);
  prgAllan_ = new QProgressBar(tab);
  prgAllan_->setObjectName("prgAllan");
  prgAllan_->setRange(0, 1000);
  prgAllan_->setValue(0);
  row->addWidget(txtRate_);
  row->addWidget(lblFilesRate_);
  row->addWidget(cmdComputeAllan_);
  row->addWidget(cmdCancelAllan_);
  row->addWidget(prgAllan_, 1);
  chkReadOffsCsv_ = new QCheckBox("Export the read-offs as CSV too", tab);
  chkReadOffsCsv_->setObjectName("chkReadOffsCsv");
  row->addWidget(chkReadOffsCsv_);
  v->addLayout(row);
  v->addWidget(lblRateWarning_);
  lblRecordCheck_ = new QLabel(tab);
  lblRecordCheck_->setObjectName("lblRecordCheck");
  lblRecordCheck_->setStyleSheet("color: #b03020;");
  lblRecordCheck_->setWordWrap(true);
  lblRecordCheck_->hide();
  v->addWidget(lblRecordCheck_);
  allanPlot_ = new AllanPlot(tab);
  v->addWidget(allanPlot_, 1);
  auto* allanCursor = new QLabel(" ", tab);
  allanCursor->setObjectName("lblAllanCursor");
  v->addWidget(allanCursor);
  connect(allanPlot_, &NoisePanels::cursorMoved, allanCursor, &QLabel::setText);
  auto* quick = new QLabel(
      QString(kQuickReadOffsCaption) +
          " (the fitted model's figures, with their uncertainties, are under Noise Density):",
      tab);
  quick->setObjectName("lblQuickReadOffs");
  quick->setWordWrap(true);
  v->addWidget(quick);
  tblReadOffs_ = new QTableWidget(0, 6, tab);
  tblReadOffs_->setObjectName("tblReadOffs");
  tblReadOffs_->setHorizontalHeaderLabels(
      {"Channel", "Random walk", "Units", "Bias instability", "Units", "Floor at tau, s"});
  tblReadOffs_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  tblReadOffs_->verticalHeader()->hide();
  tblReadOffs_->setMaximumHeight(130);
  v->addWidget(tblReadOffs_);
  connect(cmdComputeAllan_, &QPushButton::clicked, this, &frmLogViewer::computeAllan);
  connect(txtRate_, &QLineEdit::editingFinished, this, [this] { refreshSeries(); });
  connect(cmdCancelAllan_, &QPushButton::clicked, this, [this] { run_.cancel(); });
}

void frmLogViewer::buildDensityTab(QWidget* tab) {
  auto* v = new QVBoxLayout(tab);
  densityPlot_ = new DensityPlot(tab);
  v->addWidget(densityPlot_, 1);
  auto* densityCursor = new QLabel(" ", tab);
  densityCursor->setObjectName("lblDensityCursor");
  v->addWidget(densityCursor);
  connect(densityPlot_, &NoisePanels::cursorMoved, densityCursor, &QLabel::setText);
  v->addWidget(
      new QLabel("Noise model fitted to the Allan variance (value +/- one standard "
                 "deviation; \"<\" the bound of a term the record does not resolve):",
                 tab));
  tblNoiseModel_ = new QTableWidget(0, 7, tab);
  tblNoiseModel_->setObjectName("tblNoiseModel");
  // Two-line headings and wrapped cells: a figure with its uncertainty and unit is long, and
  // seven of them share a 1024 px screen. The columns can be widened; every cell's tooltip
  // holds its whole text.
  tblNoiseModel_->setHorizontalHeaderLabels({"Channel", "Quantisation\nQ", "Random walk\nN",
                                             "Bias\ninstability B", "Rate random\nwalk K",
                                             "Rate ramp\nR", "Noise\ndensity"});
  tblNoiseModel_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  tblNoiseModel_->horizontalHeader()->setStretchLastSection(true);
  tblNoiseModel_->setWordWrap(true);
  tblNoiseModel_->setTextElideMode(Qt::ElideNone);
  tblNoiseModel_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tblNoiseModel_->verticalHeader()->hide();
  tblNoiseModel_->setMaximumHeight(150);
  v->addWidget(tblNoiseModel_);
}

bool frmLogViewer::openFiles(const QStringList& paths) {
  std::vector<std::string> files;
  for (const auto& p : paths) files.push_back(p.toStdString());
  analysis::LogRecord record;
  analysis::LogError error;
  if (!analysis::ReadLogFiles(files, record, error)) {
    ctx_.messages().show("Log Viewer", "The log could not be read.\r\n\r\n" + error.message(),
                         MessageIcon::Warning);
    return false;
  }
  run_.cancel();
  run_.wait();
  poll_->stop();
  record_ = std::move(record);
  QString names;
  for (const auto& f : record_.files)
    names += (names.isEmpty() ? "" : ", ") + QFileInfo(QString::fromStdString(f.path)).fileName() +
             (f.partial ? QString(" (a stopped run's, partial)") : QString());
  lblFiles_->setText(QString("%1   %2 samples, %3")
                         .arg(names)
                         .arg(record_.samples())
                         .arg(record_.sampleInterval > 0
                                  ? QString("%1 s apart").arg(number(record_.sampleInterval))
                                  : QString("interval unknown (give the rate)")));
  {
    const QSignalBlocker block(lstChannels_);
    lstChannels_->clear();
    for (size_t c = 0; c < record_.channels.size(); ++c) {
      auto* item = new QListWidgetItem(channelName(record_.channels[c]));
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(c == 0 ? Qt::Checked : Qt::Unchecked);
      item->setForeground(kColors[c % 12]);
      lstChannels_->addItem(item);
    }
  }
  clearAnalysis();
  lblRecordCheck_->hide();
  prgAllan_->setValue(0);
  cmdExport_->setEnabled(true);
  refreshSeries();
  return true;
}

void frmLogViewer::clearAnalysis() {
  allanPlot_->setCurves({});
  tblReadOffs_->setRowCount(0);
  noise_.clear();
  densityPlot_->setChannels(&noise_);
  tblNoiseModel_->setRowCount(0);
  for (auto* readOut : findChildren<QLabel*>(QRegularExpression("^lbl(Allan|Density)Cursor$")))
    readOut->setText(" ");
  cmdReport_->setEnabled(false);
}

QString frmLogViewer::dialogFolder() const {
  if (!record_.files.empty())
    return QFileInfo(QString::fromStdString(record_.files.front().path)).absolutePath();
  return QString::fromStdString(datalog::ChosenLogDirectory(ctx_));
}

QString WithChosenExtension(const QString& path, const QString& filter) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == "png" || suffix == "svg") return path;
  return path + (filter.contains("*.svg") ? ".svg" : ".png");
}

std::vector<int> frmLogViewer::checkedChannels() const {
  std::vector<int> chosen;
  for (int i = 0; i < lstChannels_->count(); ++i)
    if (lstChannels_->item(i)->checkState() == Qt::Checked) chosen.push_back(i);
  return chosen;
}

void frmLogViewer::refreshSeries() {
  // The rate typed in, else the files' interval; without either, one second apart.
  bool ok = true;
  const double rate = rateFromField(ok);
  const double tau0 = ok && rate > 0               ? 1.0 / rate
                      : record_.sampleInterval > 0 ? record_.sampleInterval
                                                   : 1.0;
  std::vector<PlotSeries> series;
  for (int c : checkedChannels()) {
    const auto& ch = record_.channels[c];
    series.push_back(
        {channelName(ch), QString::fromStdString(ch.units), &ch.values, tau0, kColors[c % 12]});
  }
  plot_->setSeries(std::move(series));
  // The read-out belonged to the channels shown before; the pointer's next move writes it anew.
  lblCursor_->setText(" ");
  showRateCheck();
}

void frmLogViewer::showRateCheck() {
  const double filesRate = record_.sampleInterval > 0 ? 1.0 / record_.sampleInterval : 0.0;
  lblFilesRate_->setText(filesRate > 0 ? QString("files: %1").arg(number(filesRate))
                                       : QString("files do not tell"));
  bool ok = true;
  const double typed = rateFromField(ok);
  const bool far =
      ok && typed > 0 && filesRate > 0 && std::fabs(typed - filesRate) > kRateTolerance * filesRate;
  lblRateWarning_->setVisible(far);
  if (far)
    lblRateWarning_->setText(
        QString("%1 reads per second is %2 % away from the %3 the files give: the figures "
                "scale with this rate. Empty the field to use the files' rate.")
            .arg(number(typed), Region().toString(std::fabs(typed / filesRate - 1.0) * 100, 'f', 0),
                 number(filesRate)));
}

void frmLogViewer::refreshStatistics() {
  const auto& series = plot_->series();
  tblStats_->setRowCount(int(series.size()));
  for (size_t r = 0; r < series.size(); ++r) {
    const auto [first, last] = plot_->visibleSamples(series[r]);
    const auto s = analysis::StatisticsOf(*series[r].values, first, last);
    const QString values[] = {series[r].name,
                              series[r].units,
                              QString::number(s.count),
                              number(s.mean),
                              number(s.standardDeviation),
                              number(s.min),
                              number(s.max)};
    for (int k = 0; k < 7; ++k) tblStats_->setItem(int(r), k, cell(values[k]));
  }
}

double frmLogViewer::rateFromField(bool& ok) const {
  ok = true;
  const QString text = txtRate_->text().trimmed();
  if (text.isEmpty()) return 0.0;
  const TypedNumber rate = ReadTypedNumber(text.toStdString());
  ok = rate.whole && rate.leading > 0;
  return rate.leading;
}

void frmLogViewer::computeAllan() {
  bool ok = true;
  const double rate = rateFromField(ok);
  if (!ok) {
    ctx_.messages().show("Log Viewer", "The log rate must be a number of Hz above 0.",
                         MessageIcon::Warning);
    return;
  }
  std::vector<analysis::AllanRun::Job> jobs;
  runChannels_.clear();
  runTau0_.clear();
  runSamples_.clear();
  runRateHz_ = rate;
  for (int c : checkedChannels()) {
    analysis::RateSeries s = analysis::SeriesForAnalysis(record_, c, rate);
    if (!(s.tau0 > 0)) {
      ctx_.messages().show("Log Viewer",
                           "The sample interval cannot be told from the files' begin and end "
                           "seconds. Enter the rate at which the log was taken.",
                           MessageIcon::Warning);
      return;
    }
    runChannels_.push_back(c);
    runTau0_.push_back(s.tau0);
    runSamples_.push_back(int64_t(s.values.size()));
    jobs.push_back({record_.channels[c].title, std::move(s.values), s.tau0});
  }
  if (jobs.empty()) return;
  run_.start(std::move(jobs));
  cmdComputeAllan_->setEnabled(false);
  cmdCancelAllan_->setEnabled(true);
  prgAllan_->setValue(0);
  poll_->start();
}

std::vector<std::vector<analysis::RecordFinding>> frmLogViewer::checkRecord(
    const std::vector<std::vector<analysis::AllanPoint>>& curves) const {
  const auto files = analysis::CheckRecordFiles(record_);
  std::vector<std::vector<analysis::RecordFinding>> all;
  for (size_t i = 0; i < runChannels_.size(); ++i) {
    const auto& ch = record_.channels[size_t(runChannels_[i])];
    // Taken again rather than kept: the worker had the samples, and a long record's are many.
    const analysis::RateSeries s =
        analysis::SeriesForAnalysis(record_, runChannels_[i], runRateHz_);
    auto found = files;
    for (auto& f : analysis::CheckChannelStill(
             s.values, s.tau0, i < curves.size() ? curves[i] : std::vector<analysis::AllanPoint>{},
             ch.units, analysis::ChannelName(ch)))
      found.push_back(std::move(f));
    all.push_back(std::move(found));
  }
  return all;
}

bool frmLogViewer::analyseAnyway(
    const std::vector<std::vector<analysis::RecordFinding>>& findings) {
  QStringList reasons;
  for (const auto& channel : findings)
    for (const auto& f : channel) {
      const QString line =
          QString::fromStdString(f.channel.empty() ? f.reason : f.channel + ": " + f.reason);
      if (!reasons.contains(line)) reasons << line;
    }
  lblRecordCheck_->setVisible(!reasons.isEmpty());
  if (reasons.isEmpty()) return true;
  const bool forced = ctx_.messages().ask(
      "Log Viewer", ("This record is not one of a sensor at rest:\n" + reasons.join("\n") +
                     "\n\nIts noise figures would be many times the sensor's own. Analyse it "
                     "anyway? Every figure is then marked \"" +
                     QString(analysis::kRecordNotStill) + "\".")
                        .toStdString());
  lblRecordCheck_->setText(
      (forced
           ? QString("Analysed anyway, every figure marked \"%1\": ").arg(analysis::kRecordNotStill)
           : QString("Not analysed, the record is not one of a sensor at rest: ")) +
      reasons.join("; "));
  // Laid out at once: a screenshot or export taken right after must not cut the reasons off.
  lblRecordCheck_->parentWidget()->layout()->activate();
  return forced;
}

void frmLogViewer::pollAllan() {
  prgAllan_->setValue(int(run_.progress() * 1000));
  if (run_.finished()) showAllan();
}

void frmLogViewer::finishAllanNow() {
  run_.wait();
  showAllan();
}

void frmLogViewer::showAllan() {
  poll_->stop();
  run_.wait();
  cmdComputeAllan_->setEnabled(true);
  cmdCancelAllan_->setEnabled(false);
  if (run_.wasCancelled()) {
    prgAllan_->setValue(0);
    return;
  }
  prgAllan_->setValue(1000);
  auto curves = run_.takeCurves();
  auto densities = run_.takeDensities();
  const auto findings = checkRecord(curves);
  if (!analyseAnyway(findings)) {
    clearAnalysis();
    prgAllan_->setValue(0);
    return;
  }
  noise_.clear();
  std::vector<AllanCurve> shown;
  tblReadOffs_->setRowCount(0);
  for (size_t i = 0; i < curves.size() && i < runChannels_.size(); ++i) {
    const auto& ch = record_.channels[runChannels_[i]];
    AllanCurve c;
    c.name = channelName(ch);
    c.units = QString::fromStdString(ch.units);
    c.color = kColors[runChannels_[i] % 12];
    c.readOffs = analysis::ReadOffs(curves[i]);
    c.model = analysis::FitNoiseModel(curves[i], runSamples_[i]);
    analysis::ChannelNoise n;
    n.title = analysis::ChannelName(ch);  // the report names it as the window does
    n.units = ch.units;
    n.kind = analysis::SensorKindOf(ch.units);
    n.rateHz = 1.0 / runTau0_[i];
    n.samples = runSamples_[i];
    n.curve = curves[i];
    n.model = c.model;
    if (i < densities.size()) n.density = std::move(densities[i]);
    n.figures = analysis::CustomaryFigures(n.model, n.kind, n.units);
    n.densityFigure = analysis::CustomaryDensity(n.density.white, n.kind, n.units);
    for (const auto& f : findings[i]) n.notStill.push_back(f.reason);
    const QString mark = notStillMark(n);
    noise_.push_back(std::move(n));
    c.points = std::move(curves[i]);
    const auto t = analysis::CustomaryReadOffs(c.readOffs, ch.units);
    const int row = tblReadOffs_->rowCount();
    tblReadOffs_->insertRow(row);
    const bool valid = c.readOffs.validity == analysis::ReadOffValidity::Valid;
    // Where the curve cannot tell them, the same words as vexa-cli adev stand in for the figures
    // (in the table, its image and its CSV), and the plot draws no lines for them.
    const QString values[] = {
        c.name,
        (!valid ? QString::fromStdString(analysis::ReadOffValidityText(c.readOffs.validity))
         : c.readOffs.randomWalkFound ? number(t.randomWalk)
                                      : QString("not found")) +
            mark,
        valid ? QString::fromStdString(t.randomWalkUnits) : QString(),
        !valid ? QString()
               : (c.readOffs.floorFound ? QString() : QString("below ")) +
                     number(t.biasInstability) + mark,
        valid ? QString::fromStdString(t.biasUnits) : QString(),
        valid ? number(c.readOffs.floorTau) : QString()};
    for (int k = 0; k < 6; ++k) tblReadOffs_->setItem(row, k, cell(values[k]));
    if (!valid) {
      tblReadOffs_->setSpan(row, 1, 1, 5);
      c.readOffs.randomWalkFound = false;
      c.readOffs.floorFound = false;
    }
    shown.push_back(std::move(c));
  }
  allanPlot_->setCurves(std::move(shown));
  showNoiseFigures();
}

void frmLogViewer::showNoiseFigures() {
  std::vector<QColor> colors;
  std::vector<QString> names;
  for (size_t r = 0; r < noise_.size() && r < runChannels_.size(); ++r) {
    colors.push_back(kColors[runChannels_[r] % 12]);
    names.push_back(channelName(record_.channels[size_t(runChannels_[r])]));
  }
  densityPlot_->setChannels(&noise_, colors, names);
  tblNoiseModel_->setRowCount(int(noise_.size()));
  for (size_t r = 0; r < noise_.size(); ++r) {
    const auto& n = noise_[r];
    tblNoiseModel_->setItem(int(r), 0,
                            cell(r < names.size() ? names[r] : QString::fromStdString(n.title)));
    const QString mark = notStillMark(n);
    const auto text = [&mark](const analysis::NoiseFigure& f) {
      const QString unit = QString::fromStdString(f.unit);
      if (!f.resolved) return "< " + figure(f.value) + " " + unit + mark;
      return figure(f.value) + " +/- " + figure(f.sigma) + " " + unit + mark;
    };
    for (int t = 0; t < analysis::kNoiseTerms; ++t)
      tblNoiseModel_->setItem(int(r), 1 + t, cell(text(n.figures[size_t(t)])));
    tblNoiseModel_->setItem(
        int(r), 6,
        cell(n.density.whiteFound ? figure(n.densityFigure.value) + " " +
                                        QString::fromStdString(n.densityFigure.unit) + mark
                                  : QString("no white level")));
  }
  fitColumns(*tblNoiseModel_);
  cmdReport_->setEnabled(!noise_.empty());
}

bool frmLogViewer::writeReport(const QString& path) {
  std::string why = "compute the Allan deviation of the channels first";
  bool written = false;
  if (!noise_.empty()) {
    const QByteArray pdf =
        report::NoiseReportPdf(report::SummaryOf(record_, noise_), noise_, report::NoiseLimits{});
    // The file dialog has asked before replacing a file.
    written =
        !pdf.isEmpty() && WriteFileAtomically(path.toStdString(), pdf.toStdString(), true, why);
  }
  if (!written)
    ctx_.messages().show("Log Viewer", "The report could not be written: " + why + ".",
                         MessageIcon::Warning);
  return written;
}

std::vector<QStringList> frmLogViewer::readOffRows() const {
  std::vector<QStringList> rows;
  QStringList heading;
  for (int c = 0; c < tblReadOffs_->columnCount(); ++c)
    heading << tblReadOffs_->horizontalHeaderItem(c)->text();
  rows.push_back(heading);
  for (int r = 0; r < tblReadOffs_->rowCount(); ++r) {
    QStringList row;
    for (int c = 0; c < tblReadOffs_->columnCount(); ++c)
      row << (tblReadOffs_->item(r, c) ? tblReadOffs_->item(r, c)->text() : QString());
    rows.push_back(row);
  }
  return rows;
}

bool frmLogViewer::writeReadOffsCsv(const QString& path) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  for (const QStringList& row : readOffRows()) {
    QStringList quoted;
    for (QString cell : row) quoted << '"' + cell.replace('"', "\"\"") + '"';
    file.write((quoted.join(',') + "\r\n").toUtf8());
  }
  return file.commit();
}

bool frmLogViewer::exportPlot(const QString& path) {
  const int tab = tabs_->currentIndex();
  const bool allan = tab == 1;
  const QSize size = tab == 1   ? allanPlot_->size()
                     : tab == 2 ? densityPlot_->size()
                                : plot_->size();
  const QSize plotSize = size.width() < 200 ? QSize(1000, 600) : size;
  // The Allan deviation carries its read-offs under the plot, as the window shows them.
  const std::vector<QStringList> table = allan ? readOffRows() : std::vector<QStringList>{};
  const QFontMetrics fm(font());
  const int rowHeight = fm.height() + 6;
  // One row more above the table for its caption: the slopes' figures are not the ones to quote.
  const int tableHeight = table.size() > 1 ? int(table.size() + 1) * rowHeight + 12 : 0;
  const std::vector<int> lefts = ColumnLefts(table, fm, plotSize.width());
  // The density panels hold no table: a forced record's mark and reasons go under them.
  QStringList notes;
  int notesWidth = 0;
  for (size_t i = 0; tab == 2 && i < noise_.size() && i < runChannels_.size(); ++i)
    if (!noise_[i].still()) {
      QString why;
      for (const auto& r : noise_[i].notStill)
        why += (why.isEmpty() ? "" : "; ") + QString::fromStdString(r);
      notes << channelName(record_.channels[size_t(runChannels_[i])]) + notStillMark(noise_[i]) +
                   ": " + why;
      notesWidth = std::max(notesWidth, fm.horizontalAdvance(notes.back()) + 12);
    }
  const int notesHeight = notes.isEmpty() ? 0 : int(notes.size()) * rowHeight + 12;
  const QSize out(std::max({plotSize.width(), lefts.empty() ? 0 : lefts.back(), notesWidth}),
                  plotSize.height() + tableHeight + notesHeight);
  const auto draw = [&](QPainter& painter) {
    const QRect plotArea(QPoint(0, 0), plotSize);
    if (tab == 2)
      densityPlot_->render(painter, plotArea);
    else if (allan)
      allanPlot_->render(painter, plotArea);
    else
      plot_->render(painter, plotArea);
    painter.fillRect(QRect(0, plotSize.height(), out.width(), out.height() - plotSize.height()),
                     Qt::white);
    painter.setFont(font());
    painter.setPen(QColor(40, 44, 52));
    for (int k = 0; k < notes.size(); ++k)
      painter.drawText(QRect(6, plotSize.height() + 6 + k * rowHeight, out.width() - 12, rowHeight),
                       Qt::AlignLeft | Qt::AlignVCenter, notes[k]);
    if (tableHeight == 0) return;
    painter.drawText(QRect(6, plotSize.height() + 6, out.width() - 12, rowHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, kQuickReadOffsCaption);
    const int columns = int(lefts.size()) - 1;
    for (size_t r = 0; r < table.size(); ++r) {
      const int y = plotSize.height() + 6 + int(r + 1) * rowHeight;
      if (r == 1) painter.drawLine(6, y - 3, out.width() - 6, y - 3);
      const bool across = r > 0 && RunsAcross(table[r]);
      for (int c = 0; c < columns && c < table[r].size(); ++c) {
        const int right = across && c == 1 ? lefts.back() : lefts[size_t(c) + 1];
        painter.drawText(QRect(lefts[size_t(c)] + 6, y, right - lefts[size_t(c)] - 12, rowHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, table[r][c]);
      }
    }
  };
  // Written through a temporary file, so a failed export leaves an earlier file whole.
  QSaveFile file(path);
  bool saved = file.open(QIODevice::WriteOnly);
  if (saved && path.endsWith(".svg", Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(out);
    svg.setViewBox(QRect(QPoint(0, 0), out));
    svg.setTitle(windowTitle());
    QPainter painter;
    saved = painter.begin(&svg);
    if (saved) {
      draw(painter);
      saved = painter.end();
    }
  } else if (saved) {
    QImage image(out, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    draw(painter);
    painter.end();
    saved = image.save(&file, "PNG");
  }
  saved = saved && file.commit();
  if (saved && allan && chkReadOffsCsv_->isChecked()) {
    const QFileInfo info(path);
    // Named apart from log files, so an export named like a log never replaces one.
    saved = writeReadOffsCsv(info.dir().filePath(info.completeBaseName() + "-read-offs.csv"));
  }
  if (!saved)
    ctx_.messages().show("Log Viewer", "The plot could not be saved to " + path.toStdString() + ".",
                         MessageIcon::Warning);
  return saved;
}

}  // namespace vexa::ui
