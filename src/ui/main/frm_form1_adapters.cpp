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
  frmAdapterSelect& window = adapterWindow(interface);
  present(window);
  Settings& s = ctx_.settings;
  const AdapterState& a = ctx_.adapters;
  if (window.chosen()) {
    // OK: the adapter is in use if it opened, else there is no interface.
    s.Interface = a.Present != 0 && a.openInterface == interface ? interface : kInterfaceNone;
    setInterfaceChecks();
    checkSensor();
    return;
  } else if (window.tested() || a.openInterface != s.Interface ||
             (s.Interface == interface && a.Present == 0)) {
    // Cancel after a test: the link the test opened goes (also when it is the adapter in use,
    // tested on another device or clock), and the adapter in use (if any) is opened again as
    // it was set.
    CloseAdapter(ctx_);
    if (IsAdapterInterface(s.Interface)) OpenAdapter(ctx_, s.Interface);
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
