#include "ui/main/frm_form1.h"

#include <QAction>

#include "transport/adapter/adapter_spi.h"
#include "ui/transport/frm_adapter_select.h"

namespace vexa::ui {

// ---------------------------------------------------------------------------------------------
// The FTDI board and spidev: their selection windows and bring-up.

frmAdapterSelect& frmForm1::adapterWindow(int16_t interface) {
  frmAdapterSelect*& window = interface == kInterfaceFtdi ? frmFtdiSelect_ : frmSpidevSelect_;
  if (window == nullptr) {
    window = new frmAdapterSelect(ctx_, interface, this);
    window->move(frameGeometry().topLeft());
  }
  return *window;
}

void frmForm1::bringUpAdapter() {
  const int16_t interface = ctx_.settings.Interface;
  if (!OpenAdapter(ctx_, interface)) present(adapterWindow(interface));
}

void frmForm1::chooseAdapter(int16_t interface) {
  present(adapterWindow(interface));
  Settings& s = ctx_.settings;
  const AdapterState& a = ctx_.adapters;
  if (a.Present != 0 && a.openInterface == interface) {
    s.Interface = interface;
  } else if (s.Interface == interface) {
    s.Interface = kInterfaceNone;
  } else if (AdapterLost(ctx_)) {
    // A test in this window closed the other adapter that is in use: open it again.
    OpenAdapter(ctx_, s.Interface);
  }
  setInterfaceChecks();
}

void frmForm1::mnuFtdi_Click() {
  chooseAdapter(kInterfaceFtdi);
}

void frmForm1::mnuSpidev_Click() {
  chooseAdapter(kInterfaceSpidev);
}

}  // namespace vexa::ui
