#include "ui/main/frm_form1.h"

#include <algorithm>

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "registers/register_pipeline.h"
#include "ui/main/strip_chart.h"
#include "ui/services/screen_fit.h"

#include "ui/main/frm_form1_parts.h"

namespace vexa::ui {

using namespace form1;

// ---------------------------------------------------------------------------------------------
// Building the window.

void frmForm1::buildMenus() {
  QMenuBar* bar = menuBar();
  // A checkable item toggles itself when chosen; the handlers set the marks themselves.
  auto item = [this](QMenu* menu, const char* name, const char* caption, bool checkable,
                     std::function<void()> action) {
    auto* a = menu->addAction(caption);
    a->setObjectName(name);
    a->setCheckable(checkable);
    connect(a, &QAction::triggered, this, [a, checkable, action](bool checked) {
      if (checkable) a->setChecked(!checked);
      action();
    });
    return a;
  };
  auto submenu = [](QWidget* parent, const char* name, const char* caption) {
    auto* m = new QMenu(caption, parent);
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    return m;
  };

  QMenu* mnuInterface = submenu(bar, "mnuInterface", "Interface");
  bar->addMenu(mnuInterface);
  mnuPort_ = item(mnuInterface, "mnuPort", "Parallel", true, [this] { mnuPort_Click(); });
  mnuUsb_ = item(mnuInterface, "mnuUsb", "Usb", true, [this] { mnuUsb_Click(); });
  mnuFtdi_ = item(mnuInterface, "mnuFtdi", "FTDI", true, [this] { mnuFtdi_Click(); });
  mnuSpidev_ = item(mnuInterface, "mnuSpidev", "spidev", true, [this] { mnuSpidev_Click(); });
  // Pipelined reads for the read loop, kept in the program's own settings file.
  QAction* mnuFastReads = mnuInterface->addAction("Fast Reads");
  mnuFastReads->setObjectName("mnuFastReads");
  mnuFastReads->setCheckable(true);
  mnuFastReads->setChecked(PipelinedReadsChosen(ctx_));
  mnuFastReads->setStatusTip("Pipelined reads: N registers in N + 1 frames");
  connect(mnuFastReads, &QAction::toggled, this,
          [this](bool on) { ctx_.preferences.setFlag(kPipelinedReadsKey, on); });

  QMenu* mnuDevice = submenu(bar, "mnuDevice", "Device");
  bar->addMenu(mnuDevice);
  mnu27100_ = item(mnuDevice, "mnu27100", "Vexa27100", true, [this] { setDevice(27100); });
  mnu27150_ = item(mnuDevice, "mnu27150", "Vexa27150", true, [this] { setDevice(27150); });

  QMenu* mnuConfiguration = submenu(bar, "mnuConfiguration", "Configuration");
  bar->addMenu(mnuConfiguration);
  laterItems_.emplace_back(
      item(mnuConfiguration, "MnuCal", "Calibration", false, [this] { MnuCal_Click(); }),
      &LaterWindows::calibration);
  QMenu* mnuOperation = submenu(mnuConfiguration, "mnuOperation", "Operation");
  mnuConfiguration->addMenu(mnuOperation);
  auto operation = [this] {
    if (later.operation) later.operation();
  };
  for (const auto& [name, caption] : {std::pair{"mnuSampleRate", "Sample Rate"},
                                      {"mnuRange", "Range"},
                                      {"mnuFiltering", "Filtering"},
                                      {"mnuAxuIO", "Auxilliary I/O"},
                                      {"mnuAxuDAC", "Auxilliary DAC"}})
    laterItems_.emplace_back(item(mnuOperation, name, caption, false, operation),
                             &LaterWindows::operation);
  laterItems_.emplace_back(item(mnuConfiguration, "MnuAlarms", "Alarms", false,
                                [this] {
                                  if (later.alarms) later.alarms();
                                }),
                           &LaterWindows::alarms);
  laterItems_.emplace_back(item(mnuConfiguration, "mnuMagCal", "Magnetometer Calibration", false,
                                [this] {
                                  int16_t ok = 0;
                                  Check_Interface(ok);
                                  if (ok != 0 && later.magCalibration) later.magCalibration();
                                }),
                           &LaterWindows::magCalibration);
  laterItems_.emplace_back(item(mnuConfiguration, "mnuAccelCal", "Accelerometer Calibration",
                                false,
                                [this] {
                                  int16_t ok = 0;
                                  Check_Interface(ok);
                                  if (ok != 0 && later.accelCalibration) later.accelCalibration();
                                }),
                           &LaterWindows::accelCalibration);

  auto barItem = [this, bar](const char* name, const char* caption, std::function<void()> f) {
    auto* a = bar->addAction(caption);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [f] { f(); });
    return a;
  };
  laterItems_.emplace_back(barItem("mnuDatalog", "Datalog",
                                   [this] {
                                     if (later.datalog) later.datalog();
                                   }),
                           &LaterWindows::datalog);
  laterItems_.emplace_back(barItem("mnuRegisters", "Registers",
                                   [this] {
                                     if (later.registers) later.registers();
                                   }),
                           &LaterWindows::registers);
  QMenu* mnuTools = submenu(bar, "mnuTools", "Tools");
  bar->addMenu(mnuTools);
  laterItems_.emplace_back(item(mnuTools, "mnuLogViewer", "Log Viewer", false,
                                [this] {
                                  if (later.logViewer) later.logViewer();
                                }),
                           &LaterWindows::logViewer);
  laterItems_.emplace_back(item(mnuTools, "mnuUnits", "Units", false,
                                [this] {
                                  if (later.units) later.units();
                                }),
                           &LaterWindows::units);
  barItem("MnuExit", "Exit", [this] { close(); });

  // Items of windows not attached yet are disabled; attachment may come after construction.
  for (QMenu* m : {mnuConfiguration, mnuOperation})
    connect(m, &QMenu::aboutToShow, this, [this] { updateLaterMenus(); });
  updateLaterMenus();
}

void frmForm1::updateLaterMenus() {
  for (const auto& [action, hook] : laterItems_) action->setEnabled(static_cast<bool>(later.*hook));
}

void frmForm1::showEvent(QShowEvent* event) {
  updateLaterMenus();
  QMainWindow::showEvent(event);
}

void frmForm1::fitToScreen() {
  FitToScreen(*this, QSize(1280, 820));
}

QWidget* frmForm1::buildPlotFrame() {
  FrameDataPLot_ = new QGroupBox("Data Plot", this);
  FrameDataPLot_->setObjectName("FrameDataPLot");
  auto* grid = new QGridLayout(FrameDataPLot_);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);

  struct ChartText {
    const char* pic;
    const char* title;
    const char* units;
    const char* scaleButton;
    std::array<const char*, 3> scale;  // bottom, middle, top
    const char* sample;
    const char* value;
  };
  const std::array<ChartText, 3> charts = {{
      {"pic1",
       "Rate",
       "deg / sec",
       "cmdScaleGyro",
       {"lblnFS1", "lblmidS1", "lblpFS1"},
       "lblCurSam1",
       "lblCurVal1"},
      {"pic2",
       "Accel.",
       "g",
       "cmdScaleAcc",
       {"lblnFS2", "lblmidS2", "lblpFS2"},
       "lblCurSam2",
       "lblCurVal2"},
      {"pic3",
       "Magnetic",
       "mG",
       "cmdScaleMag",
       {"LbLnFS3", "LBLmidS3", "LblpFS3"},
       "LbLcurSam3",
       "lblCurVal3"},
  }};

  for (int c = 0; c < 3; ++c) {
    const ChartText& t = charts[c];
    const int row = c * 2;

    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QString("<b>%1</b>").arg(t.title), FrameDataPLot_);
    auto* units = new QLabel(t.units, FrameDataPLot_);
    units->setStyleSheet("color: #5a6270;");
    header->addWidget(title);
    header->addSpacing(4);
    header->addWidget(units);
    header->addSpacing(14);
    for (int k = 0; k < 3; ++k) {
      const int channel = 2 + c * 3 + k;
      auto* swatch = new QFrame(FrameDataPLot_);
      swatch->setFixedSize(14, 3);
      swatch->setAutoFillBackground(true);
      setBackground(swatch, QPalette::Window, traceColourOf(channel));
      header->addWidget(swatch);
      header->addWidget(new QLabel(QString("XYZ").mid(k, 1), FrameDataPLot_));
      header->addSpacing(6);
    }
    header->addStretch(1);
    lblCurSam_[c] = valueLabel(FrameDataPLot_, t.sample, 4);
    lblCurVal_[c] = valueLabel(FrameDataPLot_, t.value, 6);
    header->addWidget(new QLabel("sample", FrameDataPLot_));
    header->addWidget(lblCurSam_[c]);
    header->addSpacing(6);
    header->addWidget(new QLabel("value", FrameDataPLot_));
    header->addWidget(lblCurVal_[c]);
    grid->addLayout(header, row, 1, 1, 2);

    pic_[c] = new StripChart(FrameDataPLot_);
    pic_[c]->setObjectName(t.pic);
    for (int k = 0; k < 3; ++k) pic_[c]->setTraceColour(k, traceColourOf(2 + c * 3 + k));
    for (int k = 0; k < 3; ++k) {
      scaleLabels_[c][k] = new QLabel(FrameDataPLot_);
      scaleLabels_[c][k]->setObjectName(t.scale[k]);
      scaleLabels_[c][k]->setFont(monoFont());
    }
    auto* axis = new ScaleAxis(pic_[c], scaleLabels_[c][2], scaleLabels_[c][1], scaleLabels_[c][0],
                               FrameDataPLot_);
    grid->addWidget(axis, row + 1, 0);
    grid->addWidget(pic_[c], row + 1, 1);
    grid->setRowStretch(row + 1, 1);

    auto* scale = new QPushButton("Scale", FrameDataPLot_);
    scale->setObjectName(t.scaleButton);
    scale->setToolTip("Cycle the full scale of this chart");
    auto* side = new QVBoxLayout;
    side->addWidget(scale);
    side->addStretch(1);
    grid->addLayout(side, row + 1, 2);

    connect(pic_[c], &StripChart::pointerMoved, this,
            [this, c](double x, double y) { showPointer(c, x, y); });
  }
  connect(FrameDataPLot_->findChild<QPushButton*>("cmdScaleGyro"), &QPushButton::clicked, this,
          [this] { cmdScaleGyro_Click(); });
  connect(FrameDataPLot_->findChild<QPushButton*>("cmdScaleAcc"), &QPushButton::clicked, this,
          [this] { cmdScaleAcc_Click(); });
  connect(FrameDataPLot_->findChild<QPushButton*>("cmdScaleMag"), &QPushButton::clicked, this,
          [this] { cmdScaleMag_Click(); });

  auto* xLabel = new QLabel("Sample Number", FrameDataPLot_);
  xLabel->setAlignment(Qt::AlignHCenter);
  grid->addWidget(xLabel, 6, 1);
  return FrameDataPLot_;
}

QWidget* frmForm1::buildRegisterFrame() {
  auto* frame = new QGroupBox("Output  Registers", this);
  frame->setObjectName("frameDataReg");
  auto* grid = new QGridLayout(frame);
  grid->setVerticalSpacing(2);
  grid->setHorizontalSpacing(8);
  auto* graph = new QLabel("Graph", frame);
  graph->setAlignment(Qt::AlignCenter);
  grid->addWidget(graph, 0, 2, 1, 2);

  const QFont mono = monoFont();
  const int boxWidth = QFontMetrics(mono).horizontalAdvance("-00000.00") + 14;
  // As tall as a field in the window's own font: some monospaced fonts (Noto Sans Mono) have a
  // tall line, and twelve such rows would push the window past a 1366 x 768 screen.
  const int boxHeight = QLineEdit().sizeHint().height();
  for (int i = 1; i <= kReadOuts; ++i) {
    auto* label = new QLabel(kReadOutCaptions[i], frame);
    if (i == 1) label->setObjectName("lblReadReg");
    grid->addWidget(label, i, 0);
    auto* box = new QLineEdit(frame);
    box->setObjectName(QString("txtReadReg_%1").arg(i));
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);
    box->setFont(mono);
    box->setAlignment(Qt::AlignRight);
    box->setFixedSize(boxWidth, boxHeight);
    txtReadReg_[i] = box;
    grid->addWidget(box, i, 1);
    if (i >= 2 && i <= 10) {
      auto* ck = new QCheckBox(frame);
      ck->setObjectName(QString("ckG_%1").arg(i));
      ck->setToolTip("Graph this channel");
      ckG_[i] = ck;
      grid->addWidget(ck, i, 2, Qt::AlignCenter);
      auto* shape = new QFrame(frame);
      shape->setObjectName(QString("Shape_%1").arg(i));
      shape->setFixedSize(18, 4);
      shape->setAutoFillBackground(true);
      setBackground(shape, QPalette::Window, traceColourOf(i));
      QSizePolicy keep = shape->sizePolicy();
      keep.setRetainSizeWhenHidden(true);
      shape->setSizePolicy(keep);
      Shape_[i] = shape;
      grid->addWidget(shape, i, 3, Qt::AlignVCenter);
      connect(ck, &QCheckBox::toggled, this, [this, i] { ckG_Click(i); });
    }
  }

  cmdReadData_ = new QPushButton(kRead, frame);
  cmdReadData_->setObjectName("cmdReadData");
  cmdReadData_->setToolTip("Read the Output Registers");
  cmdReadData_->setMinimumHeight(30);
  QFont bold = cmdReadData_->font();
  bold.setBold(true);
  cmdReadData_->setFont(bold);
  ckLoop_ = new QCheckBox("Loop", frame);
  ckLoop_->setObjectName("ckLoop");
  txtLoopDelay_ = new QLineEdit(frame);
  txtLoopDelay_->setObjectName("txtLoopDelay");
  txtLoopDelay_->setFont(mono);
  txtLoopDelay_->setAlignment(Qt::AlignRight);
  txtLoopDelay_->setFixedWidth(boxWidth);

  const int row = kReadOuts + 1;
  auto* line = new QFrame(frame);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  grid->addWidget(line, row, 0, 1, 4);
  grid->addWidget(cmdReadData_, row + 1, 0);
  grid->addWidget(ckLoop_, row + 1, 1);
  grid->addWidget(new QLabel("Loop Delay msec", frame), row + 2, 0);
  grid->addWidget(txtLoopDelay_, row + 2, 1);

  connect(cmdReadData_, &QPushButton::clicked, this, [this] { cmdReadData_Click(); });
  connect(ckLoop_, &QCheckBox::toggled, this, [this] { ckLoop_Click(); });
  connect(txtLoopDelay_, &QLineEdit::textChanged, this, [this] { txtLoopDelay_Change(); });
  return frame;
}

QWidget* frmForm1::buildStatusFrame() {
  auto* frame = new QGroupBox("Status Register", this);
  frame->setObjectName("FrmStatus");
  auto* grid = new QGridLayout(frame);
  grid->setVerticalSpacing(3);
  auto* update = new QPushButton("Read Status", frame);
  update->setObjectName("CmdUpdateStatus");
  update->setToolTip("Display the Status Register");
  lblStatus_ = valueLabel(frame, "lblStatus", 6);
  lblStatus_->setAlignment(Qt::AlignCenter);
  grid->addWidget(update, 0, 0);
  grid->addWidget(lblStatus_, 0, 1);
  for (size_t n = 0; n < kStatusFlags.size(); ++n) {
    const StatusFlag& f = kStatusFlags[n];
    auto* indicator = new QLabel("OK", frame);
    indicator->setObjectName(f.name);
    indicator->setAlignment(Qt::AlignCenter);
    indicator->setAutoFillBackground(true);
    indicator->setFrameShape(QFrame::Panel);
    indicator->setFrameShadow(QFrame::Sunken);
    indicator->setMinimumWidth(indicator->fontMetrics().horizontalAdvance("Alarm") + 18);
    flags_[n] = indicator;
    // Two flags a row, so the frame is short enough for the window to fit a 768-pixel screen.
    const int row = static_cast<int>(n) / 2 + 1;
    const int column = static_cast<int>(n) % 2 * 2;
    grid->addWidget(new QLabel(f.caption, frame), row, column);
    grid->addWidget(indicator, row, column + 1);
  }
  connect(update, &QPushButton::clicked, this, [this] { CmdUpdateStatus_Click(); });
  return frame;
}

QWidget* frmForm1::buildSelfTestFrame() {
  auto* frame = new QGroupBox("Self Test", this);
  frame->setObjectName("frameSelfTest");
  auto* layout = new QVBoxLayout(frame);
  layout->addWidget(new QLabel("Self-Test", frame));
  optSTON_ = new QRadioButton("ON", frame);
  optSTON_->setObjectName("optSTON");
  optSTOFF_ = new QRadioButton("OFF", frame);
  optSTOFF_->setObjectName("optSTOFF");
  layout->addWidget(optSTON_);
  layout->addWidget(optSTOFF_);
  QFont title = frame->font();
  title.setBold(true);
  frame->setMinimumWidth(QFontMetrics(title).horizontalAdvance(frame->title()) + 36);
  connect(optSTON_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optSTON_Click();
  });
  connect(optSTOFF_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optSTOFF_Click();
  });
  return frame;
}

QWidget* frmForm1::buildPowerDownFrame() {
  auto* frame = new QGroupBox("Powerdown", this);
  frame->setObjectName("framePowerdown");
  frame->setToolTip("Set the Powerdown");
  auto* grid = new QGridLayout(frame);
  txtPowerDown_ = new QLineEdit(frame);
  txtPowerDown_->setObjectName("txtPowerDown");
  txtPowerDown_->setFont(monoFont());
  txtPowerDown_->setAlignment(Qt::AlignRight);
  txtPowerDown_->setFixedWidth(QFontMetrics(monoFont()).horizontalAdvance("000.00") + 14);
  cmdPowerDown_ = new QPushButton("Run", frame);
  cmdPowerDown_->setObjectName("cmdPowerDown");
  lblPDElapsed_ = valueLabel(frame, "lblPDElapsed", 5);
  grid->addWidget(new QLabel("Set", frame), 0, 0);
  grid->addWidget(txtPowerDown_, 0, 1);
  grid->addWidget(new QLabel("sec", frame), 0, 2);
  grid->addWidget(cmdPowerDown_, 0, 3);
  grid->addWidget(new QLabel("Elapsed", frame), 1, 0);
  grid->addWidget(lblPDElapsed_, 1, 1);
  grid->addWidget(new QLabel("sec", frame), 1, 2);
  connect(cmdPowerDown_, &QPushButton::clicked, this, [this] { cmdPowerDown_Click(); });
  connect(txtPowerDown_, &QLineEdit::textChanged, this, [this] { txtPowerDown_Change(); });
  return frame;
}

}  // namespace vexa::ui
