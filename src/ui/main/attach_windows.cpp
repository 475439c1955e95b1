#include "ui/main/attach_windows.h"

#include <memory>

#include "app/app_context.h"
#include "ui/analysis/frm_log_viewer.h"
#include "ui/main/frm_form1.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui {

void AttachWindows(frmForm1& form, AppContext& ctx, ModalPresenter& presenter) {
  // One block per window, each setting its hook in form.later.
  (void)form;
  (void)ctx;
  (void)presenter;

  // Log Viewer: made on first use and kept, so it still shows the last log when reopened.
  auto viewer = std::make_shared<std::unique_ptr<frmLogViewer>>();
  form.later.logViewer = [viewer, &form, &ctx, &presenter] {
    if (!*viewer) *viewer = std::make_unique<frmLogViewer>(ctx, &form);
    presenter.present(**viewer);
  };
}

}  // namespace vexa::ui
