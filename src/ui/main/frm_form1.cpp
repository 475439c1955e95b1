#include "ui/main/frm_form1.h"

#include <cmath>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/delay.h"
#include "app/hex_text.h"
#include "app/number_format.h"
#include "app/settings_file.h"
#include "registers/register_access.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"
#include "ui/main/strip_chart.h"
#include "ui/services/modal_presenter.h"
#include "ui/transport/frm_port.h"
#include "ui/transport/frm_usb_select.h"
#include "ui/transport/port_driver_step.h"

namespace vexa::ui {

namespace {

constexpr int kMajorVersion = 4;
constexpr const char* kRead = "Read";
constexpr const char* kStop = "STOP";

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kWhite(255, 255, 255);

constexpr std::array<const char*, frmForm1::kReadOuts + 1> kReadOutCaptions = {
    "",           "Power Supply (V)", "X_Gyro (d/s)", "Y_Gyro (d/s)", "Z_Gyro (d/s)", "X_Accl (g)",
    "Y_Accl (g)", "Z_Accl (g)",       "X_Magn (mG)",  "Y_Magn (mG)",  "Z_Magn (mG)",  "Temp (degC)",
    "AUX_ADC"};

// The six status bits shown, their indicator names and captions.
struct StatusFlag {
  int bit;
  const char* name;
  const char* caption;
};
constexpr std::array<StatusFlag, 6> kStatusFlags = {{
    {0, "lblLowSupplyFlag", "Power Supply Low"},
    {1, "lblHighSupplyFlag", "Power Supply High"},
    {2, "lblWriteFailFlag", "Control Write Flag"},
    {3, "lblSpiWriteFlag", "SPI Write Flag"},
    {8, "lblAlarm1SetFlag", "Alarm1 Set"},
    {9, "lblAlarm2SetFlag", "Alarm2 Set"},
}};

QColor traceColourOf(int channel) {
  switch ((channel - 2) % 3) {
    case 0:
      return QColor(200, 0, 0);
    case 1:
      return QColor(0, 150, 0);
    default:
      return QColor(0, 0, 150);
  }
}

QString text(const std::string& s) {
  return QString::fromStdString(s);
}
std::string str(const QString& s) {
  return s.toStdString();
}

void setBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  if (widget->palette().color(role) == colour && widget->testAttribute(Qt::WA_SetPalette)) return;
  QPalette pal = widget->palette();
  pal.setColor(role, colour);
  widget->setPalette(pal);
}

QFont monoFont() {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setStyleHint(QFont::Monospace);
  return f;
}

QLabel* valueLabel(QWidget* parent, const QString& name, int chars) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setFont(monoFont());
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setFrameShape(QFrame::StyledPanel);
  label->setFrameShadow(QFrame::Sunken);
  label->setMinimumWidth(QFontMetrics(monoFont()).horizontalAdvance(QString(chars, '0')) + 10);
  return label;
}

}  // namespace

// Counts a long-running handler; when the outermost one ends, a close that arrived meanwhile
// is carried out.
class frmForm1::BusyScope {
 public:
  explicit BusyScope(frmForm1& form) : form_(form) { ++form_.busyDepth_; }
  ~BusyScope() {
    if (--form_.busyDepth_ == 0) form_.finishDeferredClose();
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  frmForm1& form_;
};

frmForm1::frmForm1(AppContext& ctx, ModalPresenter& presenter, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), presenter_(presenter) {
  setObjectName("frmForm1");
  buildMenus();

  auto* central = new QWidget(this);
  auto* outer = new QHBoxLayout(central);
  outer->setContentsMargins(8, 6, 8, 8);
  outer->setSpacing(8);
  outer->addWidget(buildPlotFrame(), 1);

  auto* right = new QVBoxLayout;
  right->setSpacing(6);
  right->addWidget(buildRegisterFrame());
  right->addWidget(buildStatusFrame());
  auto* lower = new QHBoxLayout;
  lower->addWidget(buildSelfTestFrame());
  lower->addWidget(buildPowerDownFrame(), 1);
  right->addLayout(lower);
  right->addStretch(1);
  outer->addLayout(right, 0);
  setCentralWidget(central);
  resize(1280, 820);
}

frmForm1::~frmForm1() = default;

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

  QMenu* mnuDevice = submenu(bar, "mnuDevice", "Device");
  bar->addMenu(mnuDevice);
  mnu27100_ = item(mnuDevice, "mnu27100", "Vexa27100", true, [this] { setDevice(27100); });
  mnu27150_ = item(mnuDevice, "mnu27150", "Vexa27150", true, [this] { setDevice(27150); });

  QMenu* mnuConfiguration = submenu(bar, "mnuConfiguration", "Configuration");
  bar->addMenu(mnuConfiguration);
  item(mnuConfiguration, "MnuCal", "Calibration", false, [this] { MnuCal_Click(); });
  QMenu* mnuOperation = submenu(mnuConfiguration, "mnuOperation", "Operation");
  mnuConfiguration->addMenu(mnuOperation);
  auto operation = [this] {
    if (later.operation) later.operation();
  };
  item(mnuOperation, "mnuSampleRate", "Sample Rate", false, operation);
  item(mnuOperation, "mnuRange", "Range", false, operation);
  item(mnuOperation, "mnuFiltering", "Filtering", false, operation);
  item(mnuOperation, "mnuAxuIO", "Auxilliary I/O", false, operation);
  item(mnuOperation, "mnuAxuDAC", "Auxilliary DAC", false, operation);
  item(mnuConfiguration, "MnuAlarms", "Alarms", false, [this] {
    if (later.alarms) later.alarms();
  });

  auto barItem = [this, bar](const char* name, const char* caption, std::function<void()> f) {
    auto* a = bar->addAction(caption);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [f] { f(); });
  };
  barItem("mnuDatalog", "Datalog", [this] {
    if (later.datalog) later.datalog();
  });
  barItem("mnuRegisters", "Registers", [this] {
    if (later.registers) later.registers();
  });
  barItem("MnuExit", "Exit", [this] { close(); });
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
  grid->setVerticalSpacing(3);
  grid->setHorizontalSpacing(8);
  auto* graph = new QLabel("Graph", frame);
  graph->setAlignment(Qt::AlignCenter);
  grid->addWidget(graph, 0, 2, 1, 2);

  const QFont mono = monoFont();
  const int boxWidth = QFontMetrics(mono).horizontalAdvance("-00000.00") + 14;
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
    box->setFixedWidth(boxWidth);
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
    grid->addWidget(new QLabel(f.caption, frame), static_cast<int>(n) + 1, 0);
    grid->addWidget(indicator, static_cast<int>(n) + 1, 1);
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

// ---------------------------------------------------------------------------------------------
// Loading and unloading.

void frmForm1::Form_Load() {
  // 1. Trace colours are set as the charts are built; the pointer read-outs start at 0.
  for (int c = 0; c < 3; ++c) {
    lblCurSam_[c]->setText("0");
    lblCurVal_[c]->setText("0");
  }

  // 2. Operating-system family.
  const OsVersion os = ctx_.platform.system->query();
  if (os.platformId == 1)
    ctx_.os.OsName = os.build > 2000 ? "Win98" : "Win95";
  else
    ctx_.os.OsName = os.version > 5 ? "WinXP" : "WinNT";

  // 3. The transport named by Interface.
  Settings& s = ctx_.settings;
  if (s.Interface == kInterfaceParallel) {
    if (NeedsPortDriver(ctx_)) {
      StartPortDriver(ctx_);
      mnuPort_->setChecked(true);
    }
  } else if (s.Interface == kInterfaceUsb) {
    if (ctx_.os.OsName != "Win95") {
      FindUsbCard(ctx_);
      if (ctx_.usb.SelectedCard.Present != 0) {
        mnuUsb_->setChecked(true);
        UsbSetStaticBits(ctx_, ctx_.usb.StaticBits);
        UsbSetWordDelay(ctx_, ctx_.usb.WordDelay);
      } else {
        present(usbWindow());
      }
    } else {
      ctx_.messages().show(kApplicationTitle, "USB not available for Windows95");
      s.Interface = kInterfaceNone;
      mnuUsb_->setChecked(false);
      mnuUsb_->setVisible(false);
    }
  } else {
    s.Interface = kInterfaceNone;
    ctx_.messages().show(kApplicationTitle, "Please select an interface before taking data");
  }

  // 4. Plot selection.
  for (int i = 2; i <= 10; ++i) Shape_[i]->setVisible(false);
  for (int i : {2, 4, 6, 7, 8, 10}) {
    ckG_[i]->setChecked(true);
    Shape_[i]->setVisible(true);
  }

  // 5 - 7.
  txtLoopDelay_->setText("5");
  setDevice(s.Device);
  setWindowTitle(QString("Corvane - Vexa 27150 Evaluation Software - Rev %1").arg(kMajorVersion));

  // 8. Menu marks follow Interface; without an interface the sensor is left alone.
  setInterfaceChecks();
  if (s.Interface != kInterfaceParallel && s.Interface != kInterfaceUsb) return;

  // 9 - 13.
  CmdUpdateStatus_Click();
  txtPowerDown_->setText("0");
  lblPDElapsed_->setText("0.0");
  ReadRegister(ctx_, MSC_CTRL);
  ctx_.access.MscCtrlShadow = ctx_.access.LastRaw;
  ReadControlShadows(ctx_);
  SETGYROSCALES();
  ckLoop_->setChecked(false);
  cmdReadData_Click();
  ckLoop_->setChecked(true);

  // 14. Temperature plausibility.
  const double temperature = RegionalValue(str(txtReadReg_[TEMP_OUT]->text()));
  if (temperature > 600)
    ctx_.messages().show("", "Temperature > 600'C,  Check Dut Connections / Power");
  else if (temperature < -99)
    ctx_.messages().show("", "Temperature < -99'C,  Check Dut Connections / Power");
}

void frmForm1::closeEvent(QCloseEvent* event) {
  if (unloaded_) {
    event->accept();
    return;
  }
  if (busyDepth_ > 0) {
    // A loop is running inside a handler further down the stack: end it, and unload when it
    // has unwound, so that nothing it still touches is gone.
    closing_ = true;
    cmdReadData_->setText(kRead);
    event->ignore();
    return;
  }
  unloaded_ = true;
  DelayMs(ctx_, 250.0f);
  WriteSettings(ctx_);
  if (frmPort_ != nullptr) frmPort_->hide();
  if (frmUSBselect_ != nullptr) frmUSBselect_->hide();
  event->accept();
  if (onUnloaded) onUnloaded();
}

void frmForm1::finishDeferredClose() {
  if (closing_ && !unloaded_) close();
}

// ---------------------------------------------------------------------------------------------
// Menus, interface and device.

void frmForm1::present(QDialog& dialog) {
  presenter_.present(dialog);
}

frmPort& frmForm1::portWindow() {
  if (frmPort_ == nullptr) {
    frmPort_ = new frmPort(ctx_, this);
    frmPort_->move(frameGeometry().topLeft());
  }
  return *frmPort_;
}

frmUSBselect& frmForm1::usbWindow() {
  if (frmUSBselect_ == nullptr) {
    frmUSBselect_ = new frmUSBselect(ctx_, this);
    frmUSBselect_->move(frameGeometry().topLeft());
    frmUSBselect_->onDebug = [this] {
      if (later.usbDebug) later.usbDebug();
    };
  }
  return *frmUSBselect_;
}

void frmForm1::setInterfaceChecks() {
  mnuPort_->setChecked(false);
  mnuUsb_->setChecked(false);
  if (ctx_.settings.Interface == kInterfaceParallel) mnuPort_->setChecked(true);
  if (ctx_.settings.Interface == kInterfaceUsb) mnuUsb_->setChecked(true);
}

void frmForm1::mnuPort_Click() {
  present(portWindow());
  if (ctx_.settings.PortAddress != 0) {
    ctx_.settings.Interface = kInterfaceParallel;
    mnuPort_->setChecked(true);
    mnuUsb_->setChecked(false);
  }
}

void frmForm1::mnuUsb_Click() {
  present(usbWindow());
  if (ctx_.usb.SelectedCard.Present != 0) {
    ctx_.settings.Interface = kInterfaceUsb;
    mnuUsb_->setChecked(true);
    mnuPort_->setChecked(false);
  } else {
    ctx_.settings.Interface = kInterfaceNone;
    mnuPort_->setChecked(false);
    mnuUsb_->setChecked(false);
  }
}

void frmForm1::MnuCal_Click() {
  int16_t ok = 0;
  Check_Interface(ok);
  if (ok != 0 && later.calibration) later.calibration();
}

void frmForm1::Check_Interface(int16_t& ok) {
  ok = -1;
  Settings& s = ctx_.settings;
  if ((s.Interface == kInterfaceParallel && s.PortAddress == 0) ||
      (s.Interface == kInterfaceUsb && ctx_.usb.SelectedCard.Present == 0))
    s.Interface = kInterfaceNone;
  if (s.Interface == kInterfaceNone) {
    ctx_.messages().show(kApplicationTitle, "Please select an interface first");
    ok = 0;
  }
  setInterfaceChecks();
}

void frmForm1::setDevice(double ProductNumber) {
  mnu27100_->setChecked(false);
  mnu27150_->setChecked(false);
  if (ProductNumber == 27150 || ProductNumber == 27100) {
    (ProductNumber == 27150 ? mnu27150_ : mnu27100_)->setChecked(true);
    RegisterTable& t = ctx_.registers;
    const std::array<const char*, 3> labels = {"XACCL_OUT", "YACCL_OUT", "ZACCL_OUT"};
    for (int k = 0; k < 3; ++k) {
      t.Label[XACCL_OUT + k] = labels[k];
      t.RegScale[XACCL_OUT + k] = 0.00333f;
    }
    gyro_ = {400, -400};
    acc_ = {1.5, -1.5};
    mag_ = {1000, -1000};
  } else {
    setDevice(27150);
  }
  writeScaleLabels(0, gyro_);
  writeScaleLabels(1, acc_);
  writeScaleLabels(2, mag_);
  pic_[0]->setScale(gyro_.high, gyro_.low);
  pic_[1]->setScale(acc_.high, acc_.low);
  pic_[2]->setScale(mag_.high, mag_.low);
  FrameDataPLot_->setTitle(text("Data Plot      Device = Vexa" + GeneralNumber(ProductNumber)));
}

void frmForm1::SETGYROSCALES() {
  ReadRegister(ctx_, SENS_AVG);
  const int32_t range = (ctx_.access.LastRaw & 0x700) / 256;
  double fullScale = 0;
  if (range == 4)
    fullScale = 819.15;
  else if (range == 2)
    fullScale = 409.575;
  else if (range == 1)
    fullScale = 204.7875;
  const float scale = static_cast<float>(fullScale / 16383);
  for (int16_t row : {XGYRO_OUT, YGYRO_OUT, ZGYRO_OUT}) ctx_.registers.RegScale[row] = scale;
}

// ---------------------------------------------------------------------------------------------
// Read cycle.

void frmForm1::cmdReadData_Click() {
  if (ctx_.settings.Interface == kInterfaceNone) return;
  if (ckLoop_->isChecked()) {
    if (cmdReadData_->text() == kRead)
      cmdReadData_->setText(kStop);
    else if (cmdReadData_->text() == kStop)
      cmdReadData_->setText(kRead);
  }
  BusyScope busy(*this);
  ctx_.ui().processEvents();
  if (closing_) return;
  ReadData();
}

void frmForm1::readPass(Values& values) {
  for (int16_t i = 1; i <= kReadOuts; ++i) {
    ReadRegister(ctx_, i);
    const float scaled = ctx_.access.LastScaled;
    txtReadReg_[i]->setText(text(FormatPattern(scaled, "0.00")));
    if (i == SUPPLY_OUT) {
      const double shown = RegionalValue(str(txtReadReg_[i]->text()));
      if (shown < 2.6)
        setBackground(txtReadReg_[i], QPalette::Base, kRed);
      else if (shown > 2.6)
        setBackground(txtReadReg_[i], QPalette::Base, kWhite);
    }
    values[i] = scaled;
  }
}

void frmForm1::plotAndStatus(const Values& values) {
  PlotGyros(values, gyro_.high, gyro_.low);
  PlotAccs(values, acc_.high, acc_.low);
  PlotMags(values, mag_.high, mag_.low);
  CmdUpdateStatus_Click();
}

void frmForm1::ReadData() {
  Values values{};
  if (!ckLoop_->isChecked()) {
    readPass(values);
    plotAndStatus(values);
    return;
  }
  BusyScope busy(*this);
  while (cmdReadData_->text() == kStop && !closing_) {
    readPass(values);
    ctx_.ui().processEvents();
    plotAndStatus(values);
    DelayMs(ctx_, static_cast<float>(RegionalValue(str(txtLoopDelay_->text()))));
  }
}

void frmForm1::ckLoop_Click() {
  if (!ckLoop_->isChecked() && cmdReadData_->text() == kStop) cmdReadData_->setText(kRead);
}

void frmForm1::txtLoopDelay_Change() {
  const std::string t = str(txtLoopDelay_->text());
  if (!IsNumeric(t)) {
    txtLoopDelay_->setText("0");
  } else {
    if (RegionalValue(t) > 1000) txtLoopDelay_->setText("1000");
    if (RegionalValue(str(txtLoopDelay_->text())) < 0) txtLoopDelay_->setText("0");
  }
}

// ---------------------------------------------------------------------------------------------
// Charts.

void frmForm1::writeScaleLabels(int chart, const FullScale& scale) {
  scaleLabels_[chart][0]->setText(text(GeneralNumber(scale.low)));
  scaleLabels_[chart][1]->setText(text(GeneralNumber(scale.low + (scale.high - scale.low) / 2)));
  scaleLabels_[chart][2]->setText(text(GeneralNumber(scale.high)));
}

void frmForm1::PlotGyros(const Values& Yvalue, double& HiPk, double& LowPk) {
  pic_[0]->addSample({Yvalue[2], Yvalue[3], Yvalue[4]},
                     {ckG_[2]->isChecked(), ckG_[3]->isChecked(), ckG_[4]->isChecked()}, HiPk,
                     LowPk);
}

void frmForm1::PlotAccs(const Values& Yvalue, double& HiPk, double& LowPk) {
  writeScaleLabels(1, {HiPk, LowPk});
  pic_[1]->addSample({Yvalue[5], Yvalue[6], Yvalue[7]},
                     {ckG_[5]->isChecked(), ckG_[6]->isChecked(), ckG_[7]->isChecked()}, HiPk,
                     LowPk);
}

void frmForm1::PlotMags(const Values& Yvalue, double& HiPk, double& LowPk) {
  writeScaleLabels(2, {HiPk, LowPk});
  pic_[2]->addSample({Yvalue[8], Yvalue[9], Yvalue[10]},
                     {ckG_[8]->isChecked(), ckG_[9]->isChecked(), ckG_[10]->isChecked()}, HiPk,
                     LowPk);
}

void frmForm1::cmdScaleGyro_Click() {
  const double h = gyro_.high;
  gyro_.high = h == 400 ? 300 : h == 300 ? 150 : h == 150 ? 75 : 400;
  gyro_.low = -gyro_.high;
  writeScaleLabels(0, gyro_);
}

void frmForm1::cmdScaleAcc_Click() {
  const double h = acc_.high;
  acc_.high = h == 1.5 ? 18 : h == 18 ? 7 : h == 7 ? 1.5 : 18;
  acc_.low = -acc_.high;
  writeScaleLabels(1, acc_);
}

void frmForm1::cmdScaleMag_Click() {
  const double h = mag_.high;
  mag_.high = h == 1000 ? 400 : h == 400 ? 2500 : h == 2500 ? 1000 : 2500;
  mag_.low = -mag_.high;
  writeScaleLabels(2, mag_);
}

void frmForm1::ckG_Click(int channel) {
  Shape_[channel]->setVisible(ckG_[channel]->isChecked());
}

void frmForm1::showPointer(int chart, double x, double y) {
  auto whole = [](double v) { return QString::number(static_cast<long long>(RoundHalfEven(v))); };
  lblCurSam_[chart]->setText(whole(x));
  lblCurVal_[chart]->setText(whole(y));
}

// ---------------------------------------------------------------------------------------------
// Status, self-test, power-down.

void frmForm1::CmdUpdateStatus_Click() {
  if (ctx_.settings.Interface == kInterfaceNone) return;
  ReadRegister(ctx_, STATUS);
  StatusShadow_ = ctx_.access.LastRaw;
  lblStatus_->setText(text(HexText(ctx_.access.LastRaw)));
  for (size_t n = 0; n < kStatusFlags.size(); ++n) {
    const bool set = (ctx_.access.LastRaw >> kStatusFlags[n].bit) & 1;
    QLabel* indicator = flags_[n];
    indicator->setText(set ? "Alarm" : "OK");
    if (indicator->palette().color(QPalette::Window) == (set ? kRed : kGreen)) continue;
    QPalette pal = indicator->palette();
    pal.setColor(QPalette::Window, set ? kRed : kGreen);
    pal.setColor(QPalette::WindowText, set ? kWhite : QColor(0, 0, 0));
    indicator->setPalette(pal);
  }
}

void frmForm1::optSTON_Click() {
  ctx_.access.MscCtrlShadow |= 0x100;
  WriteRegister(ctx_, MSC_CTRL, ctx_.access.MscCtrlShadow);
}

void frmForm1::optSTOFF_Click() {
  ctx_.access.MscCtrlShadow &= 0xFF;
  WriteRegister(ctx_, MSC_CTRL, ctx_.access.MscCtrlShadow);
}

void frmForm1::txtPowerDown_Change() {
  if (!IsNumeric(str(txtPowerDown_->text()))) txtPowerDown_->setText("0.0");
  if (RegionalValue(str(txtPowerDown_->text())) > 127.5) txtPowerDown_->setText("127.5");
  if (RegionalValue(str(txtPowerDown_->text())) < 0) txtPowerDown_->setText("0.0");
}

void frmForm1::cmdPowerDown_Click() {
  const float t = static_cast<float>(RegionalValue(str(txtPowerDown_->text())));
  const int32_t count = static_cast<int32_t>(std::floor(2 * t));
  WriteRegister(ctx_, SLP_CNT, count);
  BusyScope busy(*this);
  Clock& clock = ctx_.clock();
  const float start = clock.secondsSinceMidnight();
  // The time of day wraps at midnight; a count-down that spans it must still end.
  auto sinceStart = [&clock, start] {
    const float elapsed = clock.secondsSinceMidnight() - start;
    return elapsed < 0 ? elapsed + 86400.0f : elapsed;
  };
  float elapsed = sinceStart();
  while (elapsed < t && !closing_) {
    lblPDElapsed_->setText(text(FormatPattern(elapsed, "##0.0")));
    elapsed = sinceStart();
    ctx_.ui().processEvents();
  }
  DelayMs(ctx_, 200.0f);
}

}  // namespace vexa::ui
