#pragma once

namespace vexa {
struct AppContext;
}

namespace vexa::ui {

class ModalPresenter;
class frmForm1;

// Hooks the windows that the main window's menus open (frmForm1::later) to their classes. The
// program calls it once the main window exists; tests call it on their own main window.
void AttachWindows(frmForm1& form, AppContext& ctx, ModalPresenter& presenter);

}  // namespace vexa::ui
