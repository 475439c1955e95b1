#include "ui/main/attach_windows.h"

#include <memory>

#include <QCheckBox>

#include "app/app_context.h"
#include "registers/sensor_check.h"
#include "ui/analysis/frm_log_viewer.h"
#include "ui/analysis/frm_accel_cal.h"
#include "ui/analysis/frm_mag_cal.h"
#include "ui/config/fm_calibration.h"
#include "ui/config/frm_alarms.h"
#include "ui/config/frm_manual_reg.h"
#include "ui/config/frm_operational_control.h"
#include "ui/datalog/frm_datalog.h"
#include "ui/main/frm_form1.h"
#include "ui/results/frm_units.h"
#include "ui/services/modal_presenter.h"
#include "ui/services/print_service.h"
#include "ui/transport/frm_usb_debug.h"
#include "ui/transport/frm_usb_select.h"

namespace vexa::ui {

void AttachWindows(frmForm1& form, AppContext& ctx, ModalPresenter& presenter) {
  // One block per window, each setting its hook in form.later.

  // frmLogViewer: made at its first opening and kept by the main window, so it still shows the
  // last log when opened again; from Tools > Log Viewer, and from the datalog window on the
  // files of its last run.
  const auto logViewer = [&form, &ctx, &presenter](const std::vector<std::string>& files) {
    auto* window = form.findChild<frmLogViewer*>("frmLogViewer", Qt::FindDirectChildrenOnly);
    if (window == nullptr) window = new frmLogViewer(ctx, &form);
    QStringList paths;
    for (const auto& f : files) paths << QString::fromStdString(f);
    if (!paths.isEmpty()) window->openFiles(paths);
    presenter.present(*window);
  };
  form.later.logViewer = [logViewer] { logViewer({}); };

  // frmUnits: a new window at every opening, reading the results store afresh; a run's files
  // open in the Log Viewer.
  form.later.units = [&form, &ctx, &presenter, logViewer] {
    frmUnits window(ctx, &form);
    window.openLogViewer = logViewer;
    window.refresh();
    presenter.present(window);
  };

  // frmAlarms: a new window at every opening, unloaded when it closes.
  form.later.alarms = [&form, &ctx, &presenter] {
    frmAlarms window(ctx, &form);
    window.Form_Load(form.frameGeometry().topLeft());
    presenter.present(window);
  };

  // frmManualReg: loaded at its first opening, then only hidden and shown again; the main
  // window owns it. It prints to the system's printers.
  form.later.registers = [&form, &ctx, &presenter] {
    auto* window = form.findChild<frmManualReg*>("frmManualReg", Qt::FindDirectChildrenOnly);
    if (window == nullptr) {
      window = new frmManualReg(ctx, std::make_unique<QtPrintService>(), &form);
      window->Form_Load(form.frameGeometry().topLeft());
    }
    presenter.present(*window);
  };

  // frmUSBdebug: opened by "Debug" of the card selection window, which owns it; hidden, never
  // unloaded, between openings.
  form.later.usbDebug = [&form, &ctx, &presenter] {
    frmUSBselect& select = form.usbWindow();
    auto* window = select.findChild<frmUSBdebug*>("frmUSBdebug", Qt::FindDirectChildrenOnly);
    if (window == nullptr) {
      window = new frmUSBdebug(ctx, &select);
      window->move(form.frameGeometry().topLeft());
    }
    presenter.present(*window);
  };

  // Calibration: loaded afresh at each opening, unloaded when closed.
  form.later.calibration = [&form, &ctx, &presenter] {
    fmCalibration window(ctx, &form);
    window.openMagnetometerAssistant = [&window, &ctx, &presenter] {
      // Readings of nothing, or through the wrong SPI mode, would make a fit of noise: the user
      // hears why before turning the module for a minute.
      WarnUnlessSensorPresent(ctx);
      frmMagCal assistant(ctx, &window);
      assistant.Form_Load();
      presenter.present(assistant);
    };
    window.Form_Load();
    presenter.present(window);
  };

  // Operational control, from each of the five Operation items.
  form.later.operation = [&form, &ctx, &presenter] {
    frmOperationalControl window(ctx, &form);
    window.setGyroScales = [&form] { form.SETGYROSCALES(); };
    window.Form_Load();
    presenter.present(window);
  };

  // Datalog: loaded afresh at every opening, unloaded when closed.
  form.later.datalog = [&form, &ctx, &presenter, logViewer] {
    frmDatalog window(ctx, &form);
    window.openLogViewer = logViewer;
    window.clearMainLoop = [&form] {
      if (auto* loop = form.findChild<QCheckBox*>("ckLoop")) loop->setChecked(false);
    };
    window.Form_Load();
    presenter.present(window);
  };

  // frmMagCal: a new window at every opening, from the Configuration menu (the calibration
  // window opens it from its Magnetometers block); the module tumbles (when simulated) only
  // while it collects.
  form.later.magCalibration = [&form, &ctx, &presenter] {
    WarnUnlessSensorPresent(ctx);  // before collecting, as above
    frmMagCal window(ctx, &form);
    window.Form_Load();
    presenter.present(window);
  };
  // frmAccelCal: a new window at every opening, beside the magnetometer's.
  form.later.accelCalibration = [&form, &ctx, &presenter] {
    frmAccelCal window(ctx, &form);
    window.Form_Load();
    presenter.present(window);
  };
}

}  // namespace vexa::ui
