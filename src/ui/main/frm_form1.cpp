#include "ui/main/frm_form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/delay.h"
#include "app/number_format.h"
#include "app/preferences.h"
#include "app/settings_file.h"
#include "registers/gyro_scale.h"
#include "registers/register_access.h"
#include "registers/sensor_check.h"
#include "transport/adapter/adapter_spi.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"
#include "ui/main/strip_chart.h"
#include "ui/services/modal_presenter.h"
#include "ui/transport/frm_adapter_select.h"
#include "ui/transport/frm_port.h"
#include "ui/transport/frm_usb_select.h"
#include "ui/transport/port_driver_step.h"

#include "ui/main/frm_form1_parts.h"

namespace vexa::ui {

using namespace form1;

frmForm1::frmForm1(AppContext& ctx, ModalPresenter& presenter, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), presenter_(presenter) {
  setObjectName("frmForm1");
  for (LaterHook* hook :
       {&later.calibration, &later.operation, &later.alarms, &later.datalog, &later.registers,
        &later.usbDebug, &later.magCalibration, &later.accelCalibration, &later.logViewer})
    hook->owner_ = this;
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
  fitToScreen();
}

frmForm1::~frmForm1() = default;

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
  } else if (IsAdapterInterface(s.Interface)) {
    bringUpAdapter();
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
  if (s.Interface != kInterfaceParallel && s.Interface != kInterfaceUsb &&
      !IsAdapterInterface(s.Interface))
    return;

  // 9 - 13.
  checkSensor();
  CmdUpdateStatus_Click();
  txtPowerDown_->setText("0");
  lblPDElapsed_->setText(text(FormatPattern(0.0, "##0.0")));  // the regional form, as it counts
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
  // A transfer loop of the USB debug window may still run further down the stack, its window
  // hidden: it ends with the program.
  ctx_.usb.DebugLoopStop = -1;
  DelayMs(ctx_, 250.0f);
  WriteSettings(ctx_);
  WritePreferences(ctx_);
  if (frmPort_ != nullptr) frmPort_->hide();
  if (frmUSBselect_ != nullptr) frmUSBselect_->hide();
  if (frmFtdiSelect_ != nullptr) frmFtdiSelect_->hide();
  if (frmSpidevSelect_ != nullptr) frmSpidevSelect_->hide();
  CloseAdapter(ctx_);
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

// The two selection windows open at the main window's top-left as it is now (it may have moved
// since their first opening, or not have been placed yet when one opened during the load).
frmPort& frmForm1::portWindow() {
  if (frmPort_ == nullptr) frmPort_ = new frmPort(ctx_, this);
  frmPort_->move(frameGeometry().topLeft());
  return *frmPort_;
}

frmUSBselect& frmForm1::usbWindow() {
  if (frmUSBselect_ == nullptr) {
    frmUSBselect_ = new frmUSBselect(ctx_, this);
    frmUSBselect_->onDebug = [this] {
      if (later.usbDebug) later.usbDebug();
    };
  }
  frmUSBselect_->move(frameGeometry().topLeft());
  return *frmUSBselect_;
}

void frmForm1::setInterfaceChecks() {
  mnuPort_->setChecked(false);
  mnuUsb_->setChecked(false);
  mnuFtdi_->setChecked(false);
  mnuSpidev_->setChecked(false);
  if (ctx_.settings.Interface == kInterfaceParallel) mnuPort_->setChecked(true);
  if (ctx_.settings.Interface == kInterfaceUsb) mnuUsb_->setChecked(true);
  if (ctx_.settings.Interface == kInterfaceFtdi) mnuFtdi_->setChecked(true);
  if (ctx_.settings.Interface == kInterfaceSpidev) mnuSpidev_->setChecked(true);
}

void frmForm1::mnuPort_Click() {
  present(portWindow());
  if (ctx_.settings.PortAddress != 0) {
    ctx_.settings.Interface = kInterfaceParallel;
    setInterfaceChecks();
    checkSensor();
  }
}

void frmForm1::mnuUsb_Click() {
  present(usbWindow());
  if (ctx_.usb.SelectedCard.Present != 0) {
    ctx_.settings.Interface = kInterfaceUsb;
  } else {
    ctx_.settings.Interface = kInterfaceNone;
  }
  setInterfaceChecks();
  checkSensor();
}

void frmForm1::checkSensor() {
  const Settings& s = ctx_.settings;
  const bool ready = (s.Interface == kInterfaceParallel && s.PortAddress != 0) ||
                     (s.Interface == kInterfaceUsb && ctx_.usb.SelectedCard.Present != 0) ||
                     (IsAdapterInterface(s.Interface) && !AdapterLost(ctx_));
  if (ready) WarnUnlessSensorPresent(ctx_);
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
      (s.Interface == kInterfaceUsb && ctx_.usb.SelectedCard.Present == 0) || AdapterLost(ctx_))
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
  SetGyroScales(ctx_);
}

}  // namespace vexa::ui
