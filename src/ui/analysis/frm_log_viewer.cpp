#include "ui/analysis/frm_log_viewer.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "analysis/record_series.h"
#include "analysis/span_statistics.h"
#include "app/app_context.h"
#include "app/typed_number.h"
#include "ui/analysis/allan_plot.h"
#include "ui/analysis/log_plot.h"

namespace vexa::ui {

namespace {

const QColor kColors[] = {QColor(38, 94, 160),  QColor(200, 70, 40),  QColor(40, 140, 70),
                          QColor(150, 60, 160), QColor(200, 140, 20), QColor(20, 150, 160),
                          QColor(120, 80, 40),  QColor(90, 90, 90),   QColor(220, 60, 130),
                          QColor(60, 60, 200),  QColor(110, 160, 30), QColor(160, 40, 40)};

QString number(double v) {
  return QString::number(v, 'g', 6);
}

QTableWidgetItem* cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
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
  lblFiles_ = new QLabel("No file open", this);
  lblFiles_->setObjectName("lblFiles");
  top->addWidget(cmdOpen_);
  top->addWidget(cmdAutoScale_);
  top->addWidget(cmdExport_);
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
  buildAllanTab(allanTab);
  tabs_->addTab(timeTab, "Time");
  tabs_->addTab(allanTab, "Allan Deviation");
  split->setStretchFactor(1, 1);
  split->setSizes({150, 950});
  outer->addWidget(split, 1);

  poll_ = new QTimer(this);
  poll_->setInterval(50);
  connect(poll_, &QTimer::timeout, this, &frmLogViewer::pollAllan);

  chooseFiles = [this] {
    return QFileDialog::getOpenFileNames(this, "Open log files", QString(),
                                         "Log files (*.csv *.txt);;All files (*)");
  };
  chooseExportFile = [this] {
    return QFileDialog::getSaveFileName(this, "Export plot", QString(),
                                        "PNG image (*.png);;SVG drawing (*.svg)");
  };
  connect(cmdOpen_, &QPushButton::clicked, this, [this] {
    const QStringList files = chooseFiles();
    if (!files.isEmpty()) openFiles(files);
  });
  connect(cmdAutoScale_, &QPushButton::clicked, plot_, &LogPlot::autoScale);
  connect(cmdExport_, &QPushButton::clicked, this, [this] {
    const QString file = chooseExportFile();
    if (!file.isEmpty()) exportPlot(file);
  });
  connect(lstChannels_, &QListWidget::itemChanged, this, [this] { refreshSeries(); });
  resize(1100, 720);
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
  row->addWidget(new QLabel("Log Rate Hz", tab));
  txtRate_ = new QLineEdit(tab);
  txtRate_->setObjectName("txtRate");
  txtRate_->setPlaceholderText("from the files");
  txtRate_->setMaximumWidth(120);
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
  row->addWidget(cmdComputeAllan_);
  row->addWidget(cmdCancelAllan_);
  row->addWidget(prgAllan_, 1);
  v->addLayout(row);
  allanPlot_ = new AllanPlot(tab);
  v->addWidget(allanPlot_, 1);
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
    names += (names.isEmpty() ? "" : ", ") + QFileInfo(QString::fromStdString(f.path)).fileName();
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
      auto* item = new QListWidgetItem(QString::fromStdString(record_.channels[c].title));
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(c == 0 ? Qt::Checked : Qt::Unchecked);
      item->setForeground(kColors[c % 12]);
      lstChannels_->addItem(item);
    }
  }
  allanPlot_->setCurves({});
  tblReadOffs_->setRowCount(0);
  prgAllan_->setValue(0);
  refreshSeries();
  return true;
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
    series.push_back({QString::fromStdString(ch.title), QString::fromStdString(ch.units),
                      &ch.values, tau0, kColors[c % 12]});
  }
  plot_->setSeries(std::move(series));
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
    jobs.push_back({record_.channels[c].title, std::move(s.values), s.tau0});
  }
  if (jobs.empty()) return;
  run_.start(std::move(jobs));
  cmdComputeAllan_->setEnabled(false);
  cmdCancelAllan_->setEnabled(true);
  prgAllan_->setValue(0);
  poll_->start();
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
  std::vector<AllanCurve> shown;
  tblReadOffs_->setRowCount(0);
  for (size_t i = 0; i < curves.size() && i < runChannels_.size(); ++i) {
    const auto& ch = record_.channels[runChannels_[i]];
    AllanCurve c;
    c.name = QString::fromStdString(ch.title);
    c.units = QString::fromStdString(ch.units);
    c.color = kColors[runChannels_[i] % 12];
    c.readOffs = analysis::ReadOffs(curves[i]);
    c.points = std::move(curves[i]);
    const auto t = analysis::CustomaryReadOffs(c.readOffs, ch.units);
    const int row = tblReadOffs_->rowCount();
    tblReadOffs_->insertRow(row);
    const QString values[] = {
        c.name,
        c.readOffs.randomWalkFound ? number(t.randomWalk) : QString("not found"),
        QString::fromStdString(t.randomWalkUnits),
        (c.readOffs.floorFound ? QString() : QString("below ")) + number(t.biasInstability),
        QString::fromStdString(t.biasUnits),
        number(c.readOffs.floorTau)};
    for (int k = 0; k < 6; ++k) tblReadOffs_->setItem(row, k, cell(values[k]));
    shown.push_back(std::move(c));
  }
  allanPlot_->setCurves(std::move(shown));
}

bool frmLogViewer::exportPlot(const QString& path) {
  const bool allan = tabs_->currentIndex() == 1;
  const QSize size = allan ? allanPlot_->size() : plot_->size();
  const QSize out = size.width() < 200 ? QSize(1000, 600) : size;
  const auto draw = [&](QPainter& painter) {
    if (allan)
      allanPlot_->render(painter, QRect(QPoint(0, 0), out));
    else
      plot_->render(painter, QRect(QPoint(0, 0), out));
  };
  bool saved = false;
  if (path.endsWith(".svg", Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(out);
    svg.setViewBox(QRect(QPoint(0, 0), out));
    svg.setTitle(windowTitle());
    QPainter painter;
    if (painter.begin(&svg)) {
      draw(painter);
      saved = painter.end();
    }
  } else {
    QImage image(out, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    draw(painter);
    painter.end();
    saved = image.save(path, "PNG");
  }
  if (!saved)
    ctx_.messages().show("Log Viewer", "The plot could not be saved to " + path.toStdString() + ".",
                         MessageIcon::Warning);
  return saved;
}

}  // namespace vexa::ui
