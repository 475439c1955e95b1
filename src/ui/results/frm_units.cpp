#include "ui/results/frm_units.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "results/file_facts.h"
#include "results/recording.h"
#include "ui/results/figure_plot.h"

namespace vexa::ui {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

QTableWidget* table(QWidget* parent, const char* name, const QStringList& headings) {
  auto* t = new QTableWidget(0, static_cast<int>(headings.size()), parent);
  t->setObjectName(name);
  t->setHorizontalHeaderLabels(headings);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->verticalHeader()->hide();
  t->setWordWrap(false);
  t->horizontalHeader()->setStretchLastSection(true);
  return t;
}

// Every cell carries its whole text as its tooltip too, for a column the user has narrowed.
void setRow(QTableWidget* t, int row, const QStringList& cells) {
  for (int c = 0; c < cells.size(); ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    item->setToolTip(cells[c]);
    t->setItem(row, c, item);
  }
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QString fileNames(const std::vector<results::RunFile>& files) {
  QStringList names;
  for (const auto& f : files) names << QString::fromStdString(f.path).section('/', -1);
  return names.join(", ");
}

}  // namespace

frmUnits::frmUnits(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("frmUnits");
  setWindowTitle("Units");
  auto* layout = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  txtDatabase_ = new QLineEdit(q(results::DatabaseAddress(ctx_)), this);
  txtDatabase_->setObjectName("txtDatabase");
  txtDatabase_->setPlaceholderText(q("empty: " + results::DefaultStorePath()) +
                                   "; or postgresql://USER@HOST:PORT/NAME");
  cmdConnect_ = button(this, "cmdConnect", "Use");
  lblStoreState_ = new QLabel(this);
  lblStoreState_->setObjectName("lblStoreState");
  cmdRefresh_ = button(this, "cmdRefresh", "Refresh");
  top->addWidget(new QLabel("Results store", this));
  top->addWidget(txtDatabase_, 1);
  top->addWidget(cmdConnect_);
  top->addWidget(lblStoreState_);
  top->addWidget(cmdRefresh_);
  layout->addLayout(top);

  auto* lists = new QSplitter(Qt::Horizontal, this);
  tblUnits_ = table(lists, "tblUnits", {"Unit", "Product", "Runs", "Last run", "Figures"});
  auto* historyBox = new QWidget(lists);
  auto* historyLayout = new QVBoxLayout(historyBox);
  historyLayout->setContentsMargins(0, 0, 0, 0);
  tblHistory_ = table(historyBox, "tblHistory", {"When", "What", "Bench", "Outcome", "Files"});
  cmdOpenRun_ = button(historyBox, "cmdOpenRun", "Open in Log Viewer");
  historyLayout->addWidget(tblHistory_, 1);
  historyLayout->addWidget(cmdOpenRun_, 0, Qt::AlignRight);
  lists->addWidget(tblUnits_);
  lists->addWidget(historyBox);
  layout->addWidget(lists, 1);

  auto* figureRow = new QHBoxLayout;
  cboFigure_ = new QComboBox(this);
  cboFigure_->setObjectName("cboFigure");
  cboFigure_->setMinimumContentsLength(20);
  cmdLimits_ = button(this, "cmdLimits", "Limits file...");
  lblLimits_ = new QLabel(this);
  lblLimits_->setObjectName("lblLimits");
  figureRow->addWidget(new QLabel("Figure across units", this));
  figureRow->addWidget(cboFigure_);
  figureRow->addWidget(cmdLimits_);
  figureRow->addWidget(lblLimits_, 1);
  layout->addLayout(figureRow);
  picFigure_ = new FigurePlot(this);
  picFigure_->setObjectName("picFigure");
  layout->addWidget(picFigure_, 1);

  chooseLimitsFile = [this] {
    return QFileDialog::getOpenFileName(this, "Limits file", QString(),
                                        "Limits (*.txt *.cfg *.limits);;All files (*)");
  };
  connect(cmdConnect_, &QPushButton::clicked, this, [this] {
    // The address typed here becomes the program's setting; --db gave it for one run only.
    ctx_.preferences.setText(results::kDatabaseKey, txtDatabase_->text().trimmed().toStdString());
    ctx_.resultsDatabase.clear();
    store_.reset();
    refresh();
  });
  connect(cmdRefresh_, &QPushButton::clicked, this, [this] { refresh(); });
  connect(tblUnits_, &QTableWidget::itemSelectionChanged, this, [this] { showHistory(); });
  connect(tblHistory_, &QTableWidget::cellDoubleClicked, this, [this] { openSelectedRun(); });
  connect(picFigure_, &FigurePlot::unitClicked, this,
          [this](const QString& unit) { selectUnit(unit.toStdString()); });
  connect(cmdOpenRun_, &QPushButton::clicked, this, [this] { openSelectedRun(); });
  connect(cboFigure_, &QComboBox::currentTextChanged, this, [this] { showFigure(); });
  connect(cmdLimits_, &QPushButton::clicked, this, [this] {
    const QString path = chooseLimitsFile();
    if (!path.isEmpty()) loadLimits(path.toStdString());
  });
  resize(900, 640);
}

results::ResultsStore& frmUnits::store() {
  if (!store_) {
    results::StoreLocation where;
    std::string error;
    if (!results::ParseStoreLocation(results::DatabaseAddress(ctx_), where, error))
      results::ParseStoreLocation({}, where, error);
    store_ = std::make_unique<results::ResultsStore>(where);
  }
  return *store_;
}

void frmUnits::refresh() {
  std::string error;
  const std::string selected =
      tblUnits_->currentRow() >= 0 && tblUnits_->currentRow() < static_cast<int>(units_.size())
          ? units_[static_cast<size_t>(tblUnits_->currentRow())].name
          : std::string();
  units_.clear();
  const bool ok = store().units(units_, error);
  const results::StoreState state = store().state();
  lblStoreState_->setText(q(results::StateText(state)));
  lblStoreState_->setToolTip(q(ok ? state.lastError : error));
  lblStoreState_->setStyleSheet(ok && state.waiting == 0 ? "" : "color: #a33a00;");
  {
    const QSignalBlocker quiet(tblUnits_);
    tblUnits_->setRowCount(static_cast<int>(units_.size()));
    for (size_t i = 0; i < units_.size(); ++i) {
      const auto& u = units_[i];
      setRow(tblUnits_, static_cast<int>(i),
             {q(u.name), q(u.product), QString::number(u.runs),
              q(u.lastRun.empty() ? "-" : u.lastRun.substr(0, 16) + " " + u.lastOutcome),
              QString::number(u.figures)});
    }
    tblUnits_->resizeColumnsToContents();
  }
  std::vector<std::string> figures;
  const QString figure = cboFigure_->currentText();
  if (store().figureNames(figures, error)) {
    const QSignalBlocker quiet(cboFigure_);
    cboFigure_->clear();
    for (const auto& f : figures) cboFigure_->addItem(q(f));
    if (!figure.isEmpty()) cboFigure_->setCurrentText(figure);
  }
  if (!selected.empty()) selectUnit(selected);
  showHistory();
  showFigure();
}

void frmUnits::selectUnit(const std::string& name) {
  for (size_t i = 0; i < units_.size(); ++i)
    if (units_[i].name == name) tblUnits_->selectRow(static_cast<int>(i));
}

void frmUnits::selectFigure(const std::string& name) {
  cboFigure_->setCurrentText(q(name));
}

void frmUnits::showHistory() {
  const int row = tblUnits_->currentRow();
  runs_.clear();
  tblHistory_->setRowCount(0);
  if (row < 0 || row >= static_cast<int>(units_.size())) return;
  const std::string unit = units_[static_cast<size_t>(row)].name;
  std::string error;
  std::vector<results::CalibrationSummary> calibrations;
  store().runs(unit, runs_, error);
  store().calibrations(unit, calibrations, error);
  tblHistory_->setRowCount(static_cast<int>(runs_.size() + calibrations.size()));
  int r = 0;
  for (const auto& run : runs_)
    setRow(tblHistory_, r++,
           {q(run.started.substr(0, 19)), "log run: " + q(run.channels), q(run.bench),
            q(run.outcome), fileNames(run.filesWritten)});
  for (const auto& c : calibrations) {
    QStringList changed;
    for (const auto& reg : c.registers)
      if (reg.before != reg.after)
        changed << QString("%1 %2 to %3").arg(q(reg.label)).arg(reg.before).arg(reg.after);
    setRow(tblHistory_, r++, {q(c.at.substr(0, 19)), q(c.kind), "", "", changed.join(", ")});
  }
  // Dates and kinds whole; the files (last) take the rest.
  tblHistory_->resizeColumnsToContents();
}

void frmUnits::showFigure() {
  std::vector<results::FigureValue> values;
  std::string error;
  const std::string name = cboFigure_->currentText().toStdString();
  if (!name.empty()) store().figure(name, values, error);
  const auto limit = limits_.find(name);
  picFigure_->setValues(std::move(values), limit == limits_.end()
                                               ? std::nullopt
                                               : std::optional<double>(limit->second));
  if (limit != limits_.end())
    lblLimits_->setText(
        QString("limit %1: %2 units above it").arg(limit->second).arg(picFigure_->aboveLimit()));
}

void frmUnits::loadLimits(const std::string& path) {
  std::string error;
  results::FigureLimits limits;
  if (!results::ReadFigureLimits(path, limits, error)) {
    lblLimits_->setText(q(error));
    return;
  }
  limits_ = std::move(limits);
  lblLimits_->setText(QString("%1 limits read").arg(limits_.size()));
  showFigure();
}

void frmUnits::openSelectedRun() {
  const int row = tblHistory_->currentRow();
  if (row < 0 || row >= static_cast<int>(runs_.size()) || !openLogViewer) return;
  const results::RunSummary& run = runs_[static_cast<size_t>(row)];
  // The files as the run left them: one gone or changed since (edited, overwritten by a later
  // run of the same name) is named, so nobody reads another run's data as this one's.
  std::vector<std::string> files;
  std::string problems;
  for (const auto& f : run.filesWritten) {
    const results::FileState state = results::CheckFile(f);
    if (state != results::FileState::Gone) files.push_back(f.path);
    const std::string line = results::FileStateText(f, state);
    if (!line.empty()) problems += "\r\n" + line;
  }
  const std::string here = results::HostName();
  if (!problems.empty() && !run.host.empty() && run.host != here)
    problems += "\r\n\r\nThe run was recorded on " + run.host + ", this is " + here + ".";
  if (!problems.empty())
    ctx_.messages().show("Units",
                         std::string(files.empty() ? "The run's files cannot be opened:"
                                                   : "Not every file is as the run wrote it:") +
                             problems,
                         MessageIcon::Warning);
  if (!files.empty()) openLogViewer(files);
}

}  // namespace vexa::ui
