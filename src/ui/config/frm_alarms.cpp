#include "ui/config/frm_alarms.h"

#include <algorithm>

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/delay.h"
#include "app/hex_text.h"
#include "registers/alarm_setup.h"
#include "registers/register_access.h"
#include "registers/sensor_commands.h"
#include "ui/services/text_width.h"

namespace vexa::ui {

namespace {

constexpr float kFlashUpdateMs = 200;

struct AlarmNames {
  const char* frame;
  const char* source;
  const char* level;
  const char* magnitudeCaption;
  const char* magnitudeHex;
  const char* less;
  const char* greater;
  const char* update;
  const char* average;
  const char* averageCaption;
  const char* averageHex;
  const char* rateDisabled;
  const char* rateEnabled;
  const char* averageUpdate;
};

const std::array<AlarmNames, 2> kNames = {{
    {"ALARM 1 SETUP", "cmboAsource1", "txtLevel1", "ALM_MAG1", "lblALM_MAG1", "opTrigPol1_Less",
     "opTrigPol1_Greater", "cmdWiteA1", "txtAvg1", "ALM_SMPL1", "lblALM_SMPL1", "opRate1_Disabled",
     "opRate1_Enabled", "cmdWriteAlmSmpl1"},
    {"ALARM 2 SETUP", "cmboAsource2", "txtLevel2", "ALM_MAG2", "lblALM_MAG2", "opTrigPol2_Less",
     "opTrigPol2_greater", "cmdWriteA2", "txtAVG2", "ALM_SMPL2", "lblALM_SMPL2", "opRate2_Disabled",
     "opRate2_Enabled", "cmdWriteAlmSmpl2"},
}};

QPushButton* button(const char* name, const char* caption) {
  auto* b = new QPushButton(caption);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

// The physical unit of a source's level, by source code (the units the main window's
// read-out shows); none for "Disabled" and codes that name no source.
QString AlarmSourceUnit(int code) {
  static const char* const kUnits[kAlarmSources] = {
      "", "V", "deg/sec", "deg/sec", "deg/sec", "g", "g", "g", "mG", "mG", "mG", "C", "V"};
  return code >= 0 && code < kAlarmSources ? kUnits[code] : "";
}

QLabel* hexLabel(const char* name) {
  auto* l = new QLabel("0x0000");
  l->setObjectName(name);
  l->setFrameShape(QFrame::Panel);
  l->setFrameShadow(QFrame::Sunken);
  ReserveTextWidth(l, "0xMMMM");
  return l;
}

// Wide enough for the widest level a source gives (sign, four digits and the decimals of a
// limit in general form).
QLineEdit* field(const char* name) {
  auto* e = new QLineEdit;
  e->setObjectName(name);
  ReserveTextWidth(e, "-8888.8888");
  e->setMaximumWidth(e->minimumWidth() * 3 / 2);
  return e;
}

// Two options that form a group of their own, side by side.
QWidget* optionPair(QObject* owner, QRadioButton*& first, const char* firstName,
                    const char* firstCaption, QRadioButton*& second, const char* secondName,
                    const char* secondCaption) {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  first = new QRadioButton(firstCaption);
  first->setObjectName(firstName);
  second = new QRadioButton(secondCaption);
  second->setObjectName(secondName);
  auto* group = new QButtonGroup(owner);
  group->addButton(first);
  group->addButton(second);
  first->setChecked(true);
  row->addWidget(first);
  row->addWidget(second);
  row->addStretch();
  return box;
}

void choose(QRadioButton* yes, QRadioButton* no, bool first) {
  (first ? yes : no)->setChecked(true);
}

}  // namespace

frmAlarms::frmAlarms(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("frmAlarms");
  setWindowTitle("ALARM CONFIGURATION AND CONTROL");
  setModal(true);

  cmdFlash_ = button("cmdFlash", "Flash Memory Register Update");
  cmdClose_ = button("cmdClose", "Close Window");

  auto* grid = new QGridLayout(this);
  grid->addWidget(buildAlarmFrame(1), 0, 0);
  grid->addWidget(buildAlarmFrame(2), 0, 1);
  grid->addWidget(buildIndicatorFrame(), 1, 0);
  auto* commands = new QVBoxLayout;
  commands->addStretch();
  commands->addWidget(cmdFlash_);
  commands->addWidget(cmdClose_);
  grid->addLayout(commands, 1, 1);

  // The lists hold their entries in code order and accept nothing else.
  for (AlarmControls& a : alarm_)
    for (const char* name : kAlarmSourceNames) a.source->addItem(name);

  for (int n = 1; n <= 2; ++n) {
    AlarmControls& a = alarm_[n - 1];
    connect(a.update, &QPushButton::clicked, this, [this] { UpdateAlarmSetup(); });
    connect(a.averageUpdate, &QPushButton::clicked, this, [this, n] { cmdWriteAlmSmpl_Click(n); });
  }
  connect(cmdAdio_, &QPushButton::clicked, this, [this] { UpdateAlarmIndicator(); });
  connect(cmdFlash_, &QPushButton::clicked, this, [this] { cmdFlash_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { close(); });
}

QWidget* frmAlarms::buildAlarmFrame(int alarm) {
  const AlarmNames& names = kNames[alarm - 1];
  AlarmControls& a = alarm_[alarm - 1];
  auto* frame = new QGroupBox(names.frame);
  auto* grid = new QGridLayout(frame);

  a.source = new QComboBox;
  a.source->setObjectName(names.source);
  a.source->setEditable(false);
  a.level = field(names.level);
  a.magnitudeHex = hexLabel(names.magnitudeHex);
  a.update = button(names.update, "Update");
  a.average = field(names.average);
  a.averageHex = hexLabel(names.averageHex);
  a.averageUpdate = button(names.averageUpdate, "Update");

  int row = 0;
  grid->addWidget(new QLabel("Source"), row, 0);
  grid->addWidget(a.source, row++, 1, 1, 2);
  grid->addWidget(new QLabel("Trigger Level"), row, 0);
  auto* level = new QHBoxLayout;
  level->addWidget(a.level, 1);
  // The level is in the physical units of the chosen source: say which, as the source changes.
  auto* unit = new QLabel;
  unit->setObjectName(QString("lblLevelUnits%1").arg(alarm));
  ReserveTextWidth(unit, "deg/sec");
  level->addWidget(unit);
  grid->addLayout(level, row, 1);
  connect(a.source, QOverload<int>::of(&QComboBox::currentIndexChanged), unit,
          [unit](int code) { unit->setText(AlarmSourceUnit(code)); });
  auto* magnitude = new QHBoxLayout;
  magnitude->addWidget(new QLabel(names.magnitudeCaption));
  magnitude->addWidget(a.magnitudeHex);
  grid->addLayout(magnitude, row++, 2);
  grid->addWidget(new QLabel("Trigger Polarity"), row, 0);
  grid->addWidget(
      optionPair(this, a.less, names.less, "Less than", a.greater, names.greater, "Greater than"),
      row++, 1, 1, 2);
  grid->addWidget(a.update, row++, 2);

  auto* line = new QFrame;
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  grid->addWidget(line, row++, 0, 1, 3);

  grid->addWidget(new QLabel("Average Number"), row, 0);
  grid->addWidget(a.average, row, 1);
  auto* average = new QHBoxLayout;
  average->addWidget(new QLabel(names.averageCaption));
  average->addWidget(a.averageHex);
  grid->addLayout(average, row++, 2);
  grid->addWidget(new QLabel("Rate of change"), row, 0);
  grid->addWidget(optionPair(this, a.rateDisabled, names.rateDisabled, "Disabled", a.rateEnabled,
                             names.rateEnabled, "Enabled"),
                  row++, 1, 1, 2);
  grid->addWidget(a.averageUpdate, row++, 2);
  return frame;
}

QWidget* frmAlarms::buildIndicatorFrame() {
  auto* frame = new QGroupBox("Digital Alarm Indicator Setup");
  auto* grid = new QGridLayout(frame);
  grid->addWidget(new QLabel("Digital Alarm Indicator"), 0, 0);
  grid->addWidget(optionPair(this, opDig_Disabled_, "opDig_Disabled", "Disabled", opDig_Enabled_,
                             "opDig_Enabled", "Enabled"),
                  0, 1);
  grid->addWidget(new QLabel("Digital Line Selection"), 1, 0);
  grid->addWidget(optionPair(this, opDigLine_zero_, "opDigLine_zero", "DI/O0", opDigLine_one_,
                             "opDigLine_one", "DI/O1"),
                  1, 1);
  grid->addWidget(new QLabel("Output Polarity"), 2, 0);
  grid->addWidget(optionPair(this, opDigPol_low_, "opDigPol_low", "Low", opDigPol_high_,
                             "opDigPol_high", "High"),
                  2, 1);
  cmdAdio_ = button("cmdAdio", "Update");
  grid->addWidget(cmdAdio_, 3, 1, Qt::AlignRight);
  return frame;
}

void frmAlarms::Form_Load(const QPoint& mainTopLeft) {
  move(mainTopLeft);
}

void frmAlarms::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) ReadAlarmSetup();
}

void frmAlarms::ReadAlarmSetup() {
  const AlarmRegisters r = ReadAlarmRegisters(ctx_);
  magnitudeWords_ = {r.mag1, r.mag2};
  averageWords_ = {r.smpl1, r.smpl2};
  for (int n = 1; n <= 2; ++n) {
    AlarmControls& a = alarm_[n - 1];
    const int code = AlarmSourceCode(r.ctrl, n);
    // Codes 13 to 15 name no source: nothing is chosen.
    a.source->setCurrentIndex(code < kAlarmSources ? code : -1);
    choose(a.greater, a.less, (magnitudeWords_[n - 1] & kAlarmGreaterThan) != 0);
  }
  ChangeAlarmBitstoLevel();
  for (int n = 1; n <= 2; ++n) {
    AlarmControls& a = alarm_[n - 1];
    a.average->setText(QString::number(averageWords_[n - 1]));
    a.averageHex->setText(QString::fromStdString(HexText(averageWords_[n - 1])));
    choose(a.rateEnabled, a.rateDisabled, AlarmRateOfChange(r.ctrl, n));
  }
  const AlarmIndicator indicator = AlarmIndicatorOf(r.ctrl);
  choose(opDigLine_one_, opDigLine_zero_, indicator.lineOne);
  choose(opDigPol_high_, opDigPol_low_, indicator.high);
  choose(opDig_Enabled_, opDig_Disabled_, indicator.enabled);
}

void frmAlarms::ChangeAlarmBitstoLevel() {
  for (size_t n = 0; n < alarm_.size(); ++n) {
    AlarmControls& a = alarm_[n];
    const AlarmLevelView view =
        AlarmLevelFromWord(ctx_.registers, a.source->currentIndex(), magnitudeWords_[n]);
    a.level->setText(QString::fromStdString(view.level));
    a.magnitudeHex->setText(QString::fromStdString(HexText(view.magnitude)));
  }
}

std::array<AlarmEntry, 2> frmAlarms::entries() const {
  std::array<AlarmEntry, 2> e;
  for (size_t n = 0; n < alarm_.size(); ++n) {
    const AlarmControls& a = alarm_[n];
    // No source chosen (the sensor held a code without one) is written as "Disabled".
    e[n] = {std::max(0, a.source->currentIndex()), a.level->text().toStdString(),
            a.greater->isChecked()};
  }
  return e;
}

void frmAlarms::showLevels(const std::array<AlarmEntry, 2>& entries) {
  for (size_t n = 0; n < alarm_.size(); ++n)
    alarm_[n].level->setText(QString::fromStdString(entries[n].level));
}

void frmAlarms::ChangeAlarmLeveltoBitsWrite() {
  std::array<AlarmEntry, 2> e = entries();
  WriteAlarmMagnitudes(ctx_, e);
  showLevels(e);
}

void frmAlarms::UpdateAlarmSetup() {
  std::array<AlarmEntry, 2> e = entries();
  WriteAlarmSetup(ctx_, e);
  showLevels(e);
  ReadAlarmSetup();
}

void frmAlarms::cmdWriteAlmSmpl_Click(int alarm) {
  AlarmControls& a = alarm_[alarm - 1];
  const AlarmAverage average = AlarmAverageFromText(a.average->text().toStdString());
  a.average->setText(QString::fromStdString(average.text));
  WriteAlarmAverage(ctx_, alarm, average.value, a.rateEnabled->isChecked());
  ReadAlarmSetup();
}

void frmAlarms::UpdateAlarmIndicator() {
  AlarmIndicator indicator;
  indicator.lineOne = opDigLine_one_->isChecked();
  indicator.high = opDigPol_high_->isChecked();
  indicator.enabled = opDig_Enabled_->isChecked();
  WriteAlarmIndicator(ctx_, indicator);
}

void frmAlarms::cmdFlash_Click() {
  WriteRegister(ctx_, COMMAND, kCommandFlashUpdate);
  DelayMs(ctx_, kFlashUpdateMs);
}

}  // namespace vexa::ui
