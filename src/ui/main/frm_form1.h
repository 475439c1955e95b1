#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QMainWindow>

#include "app/app_context.h"

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace vexa::ui {

class ModalPresenter;
class StripChart;
class frmAdapterSelect;
class frmPort;
class frmUSBselect;

// The main window: interface and device menus, the output-register read-out with its Read
// loop, three strip charts, the status register, self-test and power-down.
//
// Controls carry their names as objectName. Controls that repeat carry the name, an underscore
// and their index: txtReadReg_1 .. txtReadReg_12 (register index 1 .. 12), ckG_2 .. ckG_10 and
// Shape_2 .. Shape_10 (channel = register index). Menu items are QActions of the same names
// (mnuPort, mnuUsb, mnuFtdi, mnuSpidev, mnu27100, ...); submenus are QMenus named mnuInterface,
// mnuDevice, mnuConfiguration and mnuOperation. The charts are pic1, pic2 and pic3.
class frmForm1 : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kReadOuts = 12;
  using Values = std::array<float, kReadOuts + 1>;  // element 0 unused

  struct FullScale {
    double high;
    double low;
  };

  // One window's hook: assigned a function that opens the window; empty opens nothing. Setting
  // or clearing it enables or disables the menu items that open that window at once.
  class LaterHook {
   public:
    LaterHook& operator=(std::function<void()> open) {
      open_ = std::move(open);
      if (owner_ != nullptr) owner_->updateLaterMenus();
      return *this;
    }
    explicit operator bool() const { return static_cast<bool>(open_); }
    void operator()() const {
      if (open_) open_();
    }

   private:
    friend class frmForm1;
    std::function<void()> open_;
    frmForm1* owner_ = nullptr;
  };

  // Windows that later parts of the program attach to the menus; empty opens nothing.
  struct LaterWindows {
    LaterHook calibration;     // fmCalibration, after Check_Interface
    LaterHook operation;       // frmOperationalControl
    LaterHook alarms;          // frmAlarms
    LaterHook datalog;         // frmDatalog
    LaterHook registers;       // frmManualReg
    LaterHook usbDebug;        // frmUSBdebug, from the card selection window
    LaterHook magCalibration;  // frmMagCal, after Check_Interface
    LaterHook accelCalibration;  // frmAccelCal, after Check_Interface
    LaterHook logViewer;       // frmLogViewer, from Tools
    LaterHook units;           // frmUnits (the results store), from Tools
  };

  frmForm1(AppContext& ctx, ModalPresenter& presenter, QWidget* parent = nullptr);
  ~frmForm1() override;

  // What happens when the window loads; run once, before it is first shown.
  void Form_Load();

  // Makes sure a usable transport is selected; ok is -1 when it is, 0 (after a message) if not.
  void Check_Interface(int16_t& ok);
  void setDevice(double ProductNumber);
  void SETGYROSCALES();

  void cmdReadData_Click();
  void ReadData();
  void CmdUpdateStatus_Click();

  void PlotGyros(const Values& Yvalue, double& HiPk, double& LowPk);
  void PlotAccs(const Values& Yvalue, double& HiPk, double& LowPk);
  void PlotMags(const Values& Yvalue, double& HiPk, double& LowPk);
  void cmdScaleGyro_Click();
  void cmdScaleAcc_Click();
  void cmdScaleMag_Click();

  void optSTON_Click();
  void optSTOFF_Click();
  void cmdPowerDown_Click();

  void mnuPort_Click();
  void mnuUsb_Click();
  void mnuFtdi_Click();
  void mnuSpidev_Click();
  void MnuCal_Click();

  LaterWindows later;
  // Enables each menu item whose window is attached in `later` and disables the others. Runs
  // whenever a hook is set, and again when the window is shown and when a menu opens.
  void updateLaterMenus();
  // Called once the window has unloaded (settings written): the program ends.
  std::function<void()> onUnloaded;

  FullScale gyroScale() const { return gyro_; }
  FullScale accScale() const { return acc_; }
  FullScale magScale() const { return mag_; }
  int32_t statusShadow() const { return StatusShadow_; }
  // A read loop or a power-down count-down is running inside a handler.
  bool busy() const { return busyDepth_ > 0; }
  bool unloaded() const { return unloaded_; }
  frmPort& portWindow();
  frmUSBselect& usbWindow();
  frmAdapterSelect& adapterWindow(int16_t interface);  // kInterfaceFtdi or kInterfaceSpidev

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  class BusyScope;

  void buildMenus();
  // The preferred size where the screen has room, never more than its available area, and a
  // place on it; so the window's top-left is known before it is first shown.
  void fitToScreen();
  QWidget* buildPlotFrame();
  QWidget* buildRegisterFrame();
  QWidget* buildStatusFrame();
  QWidget* buildSelfTestFrame();
  QWidget* buildPowerDownFrame();

  // Read-outs change at most this often during the read loop: four times a second is as fast
  // as a person reads changing digits, where the loop makes hundreds of passes (and rewriting
  // twelve text boxes costs about as much as a hundred passes' chart drawing).
  static constexpr double kReadOutSeconds = 0.25;

  // False when the transport failed during the pass (it has said why): `values` is then
  // left as it was, since what the failed reads left behind is no reading.
  bool readPass(Values& values);
  void showReadOuts(const Values& values);
  bool readOutsDue() const;
  void plotAndStatus(const Values& values);
  void writeScaleLabels(int chart, const FullScale& scale);
  void setInterfaceChecks();
  void bringUpAdapter();
  void chooseAdapter(int16_t interface);
  // A transport just brought up or chosen: warns when no known sensor answers on it.
  void checkSensor();
  void txtLoopDelay_Change();
  void txtPowerDown_Change();
  void ckLoop_Click();
  void ckG_Click(int channel);
  void showPointer(int chart, double x, double y);
  void present(QDialog& dialog);
  void finishDeferredClose();

  AppContext& ctx_;
  ModalPresenter& presenter_;

  FullScale gyro_{400, -400};
  FullScale acc_{1.5, -1.5};
  FullScale mag_{1000, -1000};
  int32_t StatusShadow_ = 0;

  int busyDepth_ = 0;
  std::array<FullScale, 3> labelsShown_{{{0, 0}, {0, 0}, {0, 0}}};  // as last written per chart
  std::optional<bool> supplyLow_;  // the supply read-out's colour: red when true, white when false
  double readOutsShownAt_ = -1e300;
  bool closing_ = false;
  bool unloaded_ = false;

  // Menus.
  QAction* mnuPort_ = nullptr;
  QAction* mnuUsb_ = nullptr;
  QAction* mnuFtdi_ = nullptr;
  QAction* mnuSpidev_ = nullptr;
  QAction* mnu27100_ = nullptr;
  QAction* mnu27150_ = nullptr;
  // Menu items that open a window attached later, with the hook each one needs.
  std::vector<std::pair<QAction*, LaterHook LaterWindows::*>> laterItems_;

  // Frames.
  QGroupBox* FrameDataPLot_ = nullptr;

  // Output registers.
  std::array<QLineEdit*, kReadOuts + 1> txtReadReg_{};
  std::array<QCheckBox*, 11> ckG_{};
  std::array<QFrame*, 11> Shape_{};
  QPushButton* cmdReadData_ = nullptr;
  QCheckBox* ckLoop_ = nullptr;
  QLineEdit* txtLoopDelay_ = nullptr;

  // Charts: index 0..2 for pic1..pic3.
  std::array<StripChart*, 3> pic_{};
  std::array<std::array<QLabel*, 3>, 3> scaleLabels_{};  // bottom, middle, top
  std::array<QLabel*, 3> lblCurSam_{};
  std::array<QLabel*, 3> lblCurVal_{};

  // Status, self-test, power-down.
  QLabel* lblStatus_ = nullptr;
  std::array<QLabel*, 6> flags_{};
  QRadioButton* optSTON_ = nullptr;
  QRadioButton* optSTOFF_ = nullptr;
  QLineEdit* txtPowerDown_ = nullptr;
  QPushButton* cmdPowerDown_ = nullptr;
  QLabel* lblPDElapsed_ = nullptr;

  frmPort* frmPort_ = nullptr;
  frmUSBselect* frmUSBselect_ = nullptr;
  frmAdapterSelect* frmFtdiSelect_ = nullptr;
  frmAdapterSelect* frmSpidevSelect_ = nullptr;
};

}  // namespace vexa::ui
