#include "ui/main/attach_windows.h"

#include <QCheckBox>

#include "app/app_context.h"
#include "ui/datalog/frm_datalog.h"
#include "ui/main/frm_form1.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui {

void AttachWindows(frmForm1& form, AppContext& ctx, ModalPresenter& presenter) {
  // One block per window, each setting its hook in form.later.

  // Datalog: loaded afresh at every opening, unloaded when closed.
  form.later.datalog = [&form, &ctx, &presenter] {
    frmDatalog window(ctx, &form);
    window.clearMainLoop = [&form] {
      if (auto* loop = form.findChild<QCheckBox*>("ckLoop")) loop->setChecked(false);
    };
    window.Form_Load();
    presenter.present(window);
  };
}

}  // namespace vexa::ui
