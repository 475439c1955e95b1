#include "ui/main/attach_windows.h"

#include "app/app_context.h"
#include "ui/analysis/frm_mag_cal.h"
#include "ui/main/frm_form1.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui {

void AttachWindows(frmForm1& form, AppContext& ctx, ModalPresenter& presenter) {
  // One block per window, each setting its hook in form.later.
  form.later.magCalibration = [&form, &ctx, &presenter] {
    frmMagCal window(ctx, &form);
    window.Form_Load();
    presenter.present(window);
  };
}

}  // namespace vexa::ui
