#include "ui/main/attach_windows.h"

#include "app/app_context.h"
#include "ui/config/fm_calibration.h"
#include "ui/config/frm_operational_control.h"
#include "ui/main/frm_form1.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui {

void AttachWindows(frmForm1& form, AppContext& ctx, ModalPresenter& presenter) {
  // One block per window, each setting its hook in form.later.

  // Calibration: loaded afresh at each opening, unloaded when closed.
  form.later.calibration = [&form, &ctx, &presenter] {
    fmCalibration window(ctx, &form);
    // A magnetometer calibration assistant, once there is one, is set here:
    // window.openMagnetometerAssistant = [...] { ... };
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
}

}  // namespace vexa::ui
