#include "ui/transport/frm_usb_select.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_card_text.h"
#include "transport/usb/usb_spi.h"

namespace vexa::ui {

namespace {
QLineEdit* readOnlyBox(QWidget* parent, const QString& name, int width) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(true);
  box->setFocusPolicy(Qt::NoFocus);
  box->setMinimumWidth(width);
  return box;
}
}  // namespace

frmUSBselect::frmUSBselect(AppContext& ctx, QWidget* parent)
    : QDialog(parent),
      ctx_(ctx),
      cmdFindEzUsb_(new QPushButton("Search")),
      cmdDebugUsb_(new QPushButton("Debug")),
      cmdExit_(new QPushButton("OK")) {
  setObjectName("frmUSBselect");
  setWindowTitle("USB SPI Card Selection");
  setModal(true);

  auto* frame = new QGroupBox("Buffer Select", this);
  frame->setObjectName("frameBufferSetup");
  auto* grid = new QGridLayout(frame);
  grid->addWidget(new QLabel("Descriptor0"), 0, 1);
  grid->addWidget(new QLabel("Rev"), 0, 2);
  grid->addWidget(new QLabel("Speed"), 0, 3);
  auto* group = new QButtonGroup(this);
  for (int i = 0; i <= kSlots; ++i) {
    const QString caption = i < kSlots ? QString("EzUsb%1").arg(i) : QString("None");
    optUsbPort_[i] = new QRadioButton(caption, frame);
    optUsbPort_[i]->setObjectName(QString("optUsbPort_%1").arg(i));
    group->addButton(optUsbPort_[i], i);
    grid->addWidget(optUsbPort_[i], i + 1, 0);
    connect(optUsbPort_[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on && !searching_) optUsbPort_Click(i);
    });
  }
  for (int i = 0; i < kSlots; ++i) {
    txtDescript0_[i] = readOnlyBox(frame, QString("txtDescript0_%1").arg(i), 220);
    txtDriverRev_[i] = readOnlyBox(frame, QString("txtDriverRev_%1").arg(i), 50);
    txtSpeed_[i] = readOnlyBox(frame, QString("txtSpeed_%1").arg(i), 50);
    grid->addWidget(txtDescript0_[i], i + 1, 1);
    grid->addWidget(txtDriverRev_[i], i + 1, 2);
    grid->addWidget(txtSpeed_[i], i + 1, 3);
  }
  cmdFindEzUsb_->setParent(frame);
  cmdFindEzUsb_->setObjectName("cmdFindEzUsb");
  grid->addWidget(cmdFindEzUsb_, kSlots + 2, 0);
  grid->setColumnStretch(1, 1);

  cmdDebugUsb_->setObjectName("cmdDebugUsb");
  cmdExit_->setObjectName("cmdExit");
  cmdExit_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdDebugUsb_);
  buttons->addStretch();
  buttons->addWidget(cmdExit_);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(frame);
  outer->addLayout(buttons);

  connect(cmdFindEzUsb_, &QPushButton::clicked, this, [this] { cmdFindEzUsb_Click(); });
  connect(cmdDebugUsb_, &QPushButton::clicked, this, [this] {
    if (onDebug) onDebug();
  });
  connect(cmdExit_, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
}

void frmUSBselect::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  cmdFindEzUsb_Click();
}

void frmUSBselect::closeEvent(QCloseEvent* event) {
  // The close box hides the window; it stays loaded for the next opening.
  event->ignore();
  hide();
}

void frmUSBselect::cmdFindEzUsb_Click() {
  for (int i = 0; i < kSlots; ++i) {
    optUsbPort_[i]->setEnabled(false);
    txtDescript0_[i]->clear();
    txtDriverRev_[i]->clear();
    txtSpeed_[i]->clear();
  }
  FindUsbCard(ctx_);
  UsbState& usb = ctx_.usb;
  for (int i = 0; i < kSlots; ++i) {
    const UsbCardInfo& card = usb.UsbCards[i];
    if (card.Present == 0) continue;
    optUsbPort_[i]->setEnabled(true);
    if (i == usb.SelectedCardIndex) {
      searching_ = true;
      optUsbPort_[i]->setChecked(true);
      searching_ = false;
      optUsbPort_Click(i);
    }
    txtDescript0_[i]->setText(QString::fromStdString(card.Descriptor0));
    txtDriverRev_[i]->setText(QString::fromStdString(FirmwareRevText(card)));
    txtSpeed_[i]->setText(QString::fromStdString(UsbSpeedText(card)));
  }
  if (usb.SelectedCardIndex == -1) {
    searching_ = true;
    optUsbPort_[kNone]->setChecked(true);
    searching_ = false;
    optUsbPort_Click(kNone);
  }
}

void frmUSBselect::optUsbPort_Click(int index) {
  UsbState& usb = ctx_.usb;
  if (index >= 0 && index < kSlots) {
    usb.SelectedCard = usb.UsbCards[index];
    UsbSetWordDelay(ctx_, usb.WordDelay);
    UsbSetStaticBits(ctx_, usb.StaticBits);
  } else if (index == kNone) {
    usb.SelectedCard.Present = 0;
    usb.DebugLoopStop = -1;
  }
}

}  // namespace vexa::ui
