#include "ui/transport/frm_port.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/hex_text.h"
#include "ui/transport/port_driver_step.h"

namespace vexa::ui {

frmPort::frmPort(AppContext& ctx, QWidget* parent)
    : QDialog(parent),
      ctx_(ctx),
      txtUser_(new QLineEdit(this)),
      cmdOK_(new QPushButton("OK", this)),
      cmdCancel_(new QPushButton("Cancel", this)) {
  setObjectName("frmPort");
  setWindowTitle("Parallel Port Setup");
  setModal(true);

  auto* label = new QLabel("Port Address (Hex)", this);
  label->setToolTip("Select the Parallel Port Address");
  txtUser_->setObjectName("txtUser");
  txtUser_->setToolTip("Select the Parallel Port Address");
  txtUser_->setMaxLength(8);
  QFont mono("monospace");
  mono.setStyleHint(QFont::Monospace);
  txtUser_->setFont(mono);
  cmdOK_->setObjectName("cmdOK");
  cmdCancel_->setObjectName("cmdCancel");
  cmdOK_->setDefault(true);
  cmdCancel_->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(txtUser_, 0, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdCancel_);
  grid->addLayout(buttons, 1, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);

  connect(cmdOK_, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmPort::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Every opening: the address field has the focus with its text selected, so typing replaces it.
  txtUser_->setText(QString::fromStdString(HexDigits(ctx_.settings.PortAddress)));
  txtUser_->setFocus(Qt::OtherFocusReason);
  txtUser_->selectAll();
}

void frmPort::cmdOK_Click() {
  const std::string text = txtUser_->text().toStdString();
  if (text.empty()) return;
  ctx_.settings.PortAddress = HexToInteger(text);
  txtUser_->setText(QString::fromStdString(HexDigits(ctx_.settings.PortAddress)));
  ctx_.settings.Interface = kInterfaceParallel;
  // The driver is set up once per run; a port that was refused (a wrong address, a port held by
  // another driver) is asked for again, so correcting the address here brings the port up.
  const PortAccess* access = ctx_.platform.portAccess;
  const bool held =
      access != nullptr && access->holds(static_cast<uint16_t>(ctx_.settings.PortAddress));
  if (NeedsPortDriver(ctx_) && (ctx_.os.PortDriverStarted == 0 || !held)) StartPortDriver(ctx_);
  hide();
}

void frmPort::cmdCancel_Click() {
  hide();
}

}  // namespace vexa::ui
