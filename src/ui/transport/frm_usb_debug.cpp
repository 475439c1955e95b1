#include "ui/transport/frm_usb_debug.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/hex_text.h"
#include "app/number_format.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_card_text.h"
#include "transport/usb/usb_debug.h"
#include "transport/usb/usb_spi.h"

namespace vexa::ui {

namespace {

constexpr const char* kNoCard = "Please Select a Buffer first";
constexpr const char* kBadWordCount = "The number of words to write must lie between 0 and 255.";

QLineEdit* box(const QString& name, int width, bool readOnly) {
  auto* b = new QLineEdit;
  b->setObjectName(name);
  b->setReadOnly(readOnly);
  if (readOnly) b->setFocusPolicy(Qt::NoFocus);
  b->setMinimumWidth(width);
  return b;
}

QPushButton* button(const char* name, const char* caption) {
  auto* b = new QPushButton(caption);
  b->setObjectName(name);
  // Enter in the delay field belongs to the field, not to a default button.
  b->setAutoDefault(false);
  return b;
}

QGroupBox* frame(const char* name, const char* caption) {
  auto* f = new QGroupBox(caption);
  f->setObjectName(name);
  return f;
}

QString hexDigits(int32_t value) {
  return QString::fromStdString(HexDigits(value));
}

}  // namespace

frmUSBdebug::frmUSBdebug(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("frmUSBdebug");
  setWindowTitle("USB SPI Card Setup");
  setModal(true);

  // Buffer Select.
  auto* frameBufferSetup = frame("frameBufferSetup", "Buffer Select");
  auto* cards = new QGridLayout(frameBufferSetup);
  const char* headings[] = {"Device", "Descriptor0", "Descriptor1", "Rev", "Speed"};
  for (int c = 0; c < 5; ++c) cards->addWidget(new QLabel(headings[c]), 0, c + 1);
  auto* slotGroup = new QButtonGroup(this);
  for (int i = 0; i <= kSlots; ++i) {
    const QString caption = i < kSlots ? QString("EzUsb%1").arg(i) : QString("None");
    optUsbPort_[i] = new QRadioButton(caption);
    optUsbPort_[i]->setObjectName(QString("optUsbPort_%1").arg(i));
    slotGroup->addButton(optUsbPort_[i], i);
    cards->addWidget(optUsbPort_[i], i + 1, 0);
    connect(optUsbPort_[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on && !selecting_) optUsbPort_Click(i);
    });
  }
  for (int i = 0; i < kSlots; ++i) {
    txtUsbPort_[i] = box(QString("txtUsbPort_%1").arg(i), 80, true);
    txtDescript0_[i] = box(QString("txtDescript0_%1").arg(i), 150, true);
    txtDescript1_[i] = box(QString("txtDescript1_%1").arg(i), 100, true);
    txtDriverRev_[i] = box(QString("txtDriverRev_%1").arg(i), 40, true);
    txtSpeed_[i] = box(QString("txtSpeed_%1").arg(i), 40, true);
    const std::array<QLineEdit*, 5> row = {txtUsbPort_[i], txtDescript0_[i], txtDescript1_[i],
                                           txtDriverRev_[i], txtSpeed_[i]};
    for (int c = 0; c < 5; ++c) cards->addWidget(row[c], i + 1, c + 1);
  }
  cmdFindEzUsb_ = button("cmdFindEzUsb", "Search");
  cards->addWidget(cmdFindEzUsb_, kSlots + 2, 0);

  // SPI Setup.
  frameSPIsetup_ = frame("frameSPIsetup", "SPI Setup");
  auto* setup = new QGridLayout(frameSPIsetup_);
  auto* frameSpiStatic = frame("frameSpiStatic", "Static Bits");
  auto* statics = new QGridLayout(frameSpiStatic);
  for (int n = 2; n <= 5; ++n) {
    QCheckBox*& check = chkStaticBits_[n - 2];
    check = new QCheckBox(QString("CS%1").arg(n));
    check->setObjectName(QString("chkStaticBits_%1").arg(n));
    statics->addWidget(check, 0, n - 2);
  }
  cmdReadBits_ = button("cmdReadBits", "Read");
  cmdSetSpiBits_ = button("cmdSetSpiBits", "Set Bits");
  statics->addWidget(cmdReadBits_, 1, 0, 1, 2);
  statics->addWidget(cmdSetSpiBits_, 1, 2, 1, 2);
  setup->addWidget(frameSpiStatic, 0, 0, 1, 3);

  auto* frameSpiChan = frame("frameSpiChan", "Csel Channel");
  auto* channels = new QHBoxLayout(frameSpiChan);
  auto* channelGroup = new QButtonGroup(this);
  for (int n = 1; n <= 4; ++n) {
    optSpiChan_[n] = new QRadioButton(QString("Chan%1").arg(n));
    optSpiChan_[n]->setObjectName(QString("optSpiChan_%1").arg(n));
    channelGroup->addButton(optSpiChan_[n], n);
    channels->addWidget(optSpiChan_[n]);
    connect(optSpiChan_[n], &QRadioButton::toggled, this, [this, n](bool on) {
      if (on) optSpiChan_Click(n);
    });
  }
  setup->addWidget(frameSpiChan, 1, 0, 1, 3);

  txtLoopDelay_ = box("txtLoopDelay", 50, false);
  txtLoopDelay_->setText("10");
  txtLoopDelay_->setMaximumWidth(70);
  txtLoopDelay_->installEventFilter(this);
  cmdReadDelay_ = button("cmdReadDelay", "Read");
  setup->addWidget(new QLabel("Delay between words (uS)"), 2, 0);
  setup->addWidget(txtLoopDelay_, 2, 1);
  setup->addWidget(cmdReadDelay_, 2, 2);
  cmdPolarity_ = button("cmdPolarity", "Pos");
  cmdPolarity_->setMaximumWidth(70);
  setup->addWidget(new QLabel("Data Input Polarity"), 3, 0);
  setup->addWidget(cmdPolarity_, 3, 1);

  // Manual Setup.
  frameManual_ = frame("frameManual", "Manual Setup");
  auto* manual = new QGridLayout(frameManual_);
  txtNumWords_ = box("txtNumWords", 40, false);
  txtNumWords_->setText("1");
  manual->addWidget(new QLabel("# Words to Write"), 0, 0, 1, 2);
  manual->addWidget(txtNumWords_, 0, 2);
  manual->addWidget(new QLabel("Write (hex)"), 1, 1);
  manual->addWidget(new QLabel("Readback"), 1, 2);
  for (int i = 1; i <= kWords; ++i) {
    txtWriteSpi_[i] = box(QString("txtWriteSpi_%1").arg(i), 60, false);
    txtWriteSpi_[i]->setText("0");
    txtReadSpi_[i] = box(QString("txtReadSpi_%1").arg(i), 60, true);
    manual->addWidget(new QLabel(QString::number(i)), i + 1, 0);
    manual->addWidget(txtWriteSpi_[i], i + 1, 1);
    manual->addWidget(txtReadSpi_[i], i + 1, 2);
  }
  cmdWriteSpi_ = button("cmdWriteSpi", "Write");
  cmdLoop_ = button("cmdLoop", "Loop");
  manual->addWidget(cmdWriteSpi_, kWords + 2, 1);
  manual->addWidget(cmdLoop_, kWords + 2, 2);

  cmdExit_ = button("cmdExit", "OK");

  auto* left = new QVBoxLayout;
  left->addWidget(frameBufferSetup);
  left->addWidget(frameSPIsetup_);
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->addWidget(frameManual_);
  right->addStretch();
  right->addWidget(cmdExit_, 0, Qt::AlignRight);
  auto* outer = new QHBoxLayout(this);
  outer->addLayout(left, 1);
  outer->addLayout(right);

  connect(cmdFindEzUsb_, &QPushButton::clicked, this, [this] { cmdFindEzUsb_Click(); });
  connect(cmdReadBits_, &QPushButton::clicked, this, [this] { cmdReadBits_Click(); });
  connect(cmdSetSpiBits_, &QPushButton::clicked, this, [this] { cmdSetSpiBits_Click(); });
  connect(cmdReadDelay_, &QPushButton::clicked, this, [this] { cmdReadDelay_Click(); });
  connect(cmdPolarity_, &QPushButton::clicked, this, [this] { cmdPolarity_Click(); });
  connect(cmdWriteSpi_, &QPushButton::clicked, this, [this] { cmdWriteSpi_Click(); });
  connect(cmdLoop_, &QPushButton::clicked, this, [this] { cmdLoop_Click(); });
  connect(cmdExit_, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
}

void frmUSBdebug::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  cmdFindEzUsb_Click();
  const uint8_t channel = ctx_.usb.CselChannel;
  if (channel >= 1 && channel <= 4) optSpiChan_[channel]->setChecked(true);
  cmdPolarity_->setText(ctx_.usb.InputPolarityPos != 0 ? "Pos" : "Neg");
}

void frmUSBdebug::closeEvent(QCloseEvent* event) {
  // The close box hides the window; a running loop goes on until stopped.
  event->ignore();
  hide();
}

bool frmUSBdebug::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtLoopDelay_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      txtLoopDelay_Enter();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void frmUSBdebug::selectUsbPort(int index) {
  selecting_ = true;
  optUsbPort_[index]->setChecked(true);
  selecting_ = false;
  optUsbPort_Click(index);
}

void frmUSBdebug::setFramesEnabled(bool on) {
  frameSPIsetup_->setEnabled(on);
  frameManual_->setEnabled(on);
}

void frmUSBdebug::warnNoCard() {
  ctx_.messages().show(kApplicationTitle, kNoCard);
}

void frmUSBdebug::cmdFindEzUsb_Click() {
  for (int i = 0; i < kSlots; ++i) {
    txtUsbPort_[i]->setText("None");
    optUsbPort_[i]->setEnabled(false);
    txtDescript0_[i]->clear();
    txtDescript1_[i]->clear();
    txtDriverRev_[i]->clear();
    txtSpeed_[i]->clear();
  }
  FindUsbCard(ctx_);
  UsbState& usb = ctx_.usb;
  for (int i = 0; i < kSlots; ++i) {
    const UsbCardInfo& card = usb.UsbCards[i];
    if (card.Present == 0) continue;
    txtUsbPort_[i]->setText(
        QString::fromStdString(card.BoardType + " - " + std::to_string(card.PortNumber)));
    optUsbPort_[i]->setEnabled(true);
    if (i == usb.SelectedCardIndex) selectUsbPort(i);
    txtDescript0_[i]->setText(QString::fromStdString(card.Descriptor0));
    txtDescript1_[i]->setText(QString::fromStdString(card.Descriptor1));
    txtDriverRev_[i]->setText(QString::fromStdString(FirmwareRevText(card)));
    txtSpeed_[i]->setText(QString::fromStdString(UsbSpeedText(card)));
  }
  if (usb.SelectedCardIndex == -1) selectNone();
}

void frmUSBdebug::optUsbPort_Click(int index) {
  UsbState& usb = ctx_.usb;
  if (index == kNone) {
    setFramesEnabled(false);
    usb.SelectedCard.Present = 0;
    usb.DebugLoopStop = -1;
    return;
  }
  usb.SelectedCard = usb.UsbCards[index];
  setFramesEnabled(true);
  if (usb.CselChannel >= 1 && usb.CselChannel <= 4) optSpiChan_[usb.CselChannel]->setChecked(true);
  UsbSetStaticBits(ctx_, usb.StaticBits);
  UsbSetWordDelay(ctx_, usb.WordDelay);
  cmdReadDelay_Click();
  cmdReadBits_Click();
}

void frmUSBdebug::optSpiChan_Click(int channel) {
  ctx_.usb.CselChannel = static_cast<uint8_t>(channel);
}

void frmUSBdebug::cmdReadDelay_Click() {
  if (cardPresent())
    UsbReadSpiSetup(ctx_);
  else
    warnNoCard();
  txtLoopDelay_->setText(QString::number(ctx_.usb.WordDelay));
}

void frmUSBdebug::txtLoopDelay_Enter() {
  if (cardPresent()) {
    uint8_t delay = DebugWordDelay(txtLoopDelay_->text().toStdString());
    UsbSetWordDelay(ctx_, delay);
  } else {
    warnNoCard();
  }
  txtLoopDelay_->setText(QString::number(ctx_.usb.WordDelay));
}

void frmUSBdebug::cmdPolarity_Click() {
  const bool wasPositive = cmdPolarity_->text() == "Pos";
  cmdPolarity_->setText(wasPositive ? "Neg" : "Pos");
  ctx_.usb.InputPolarityPos = wasPositive ? 0 : -1;
}

void frmUSBdebug::cmdReadBits_Click() {
  if (!cardPresent()) {
    warnNoCard();
    txtLoopDelay_->setText(QString::number(ctx_.usb.WordDelay));
    return;
  }
  for (QCheckBox* check : chkStaticBits_) check->setChecked(false);
  UsbReadSpiSetup(ctx_);
  const std::array<bool, 4> ticked = StaticBitsBoxes(ctx_.usb.StaticBits);
  for (size_t i = 0; i < ticked.size(); ++i) chkStaticBits_[i]->setChecked(ticked[i]);
}

void frmUSBdebug::cmdSetSpiBits_Click() {
  if (!cardPresent()) {
    warnNoCard();
    selectNone();
    ctx_.usb.DebugLoopStop = -1;
    return;
  }
  std::array<bool, 4> ticked{};
  for (size_t i = 0; i < ticked.size(); ++i) ticked[i] = chkStaticBits_[i]->isChecked();
  uint8_t bits = StaticBitsFromBoxes(ticked);
  UsbSetStaticBits(ctx_, bits);
  if (!cardPresent()) selectNone();
}

bool frmUSBdebug::transferFromBoxes() {
  UsbState& usb = ctx_.usb;
  if (!cardPresent()) {
    warnNoCard();
    selectNone();
    usb.DebugLoopStop = -1;
    return false;
  }
  const std::optional<uint8_t> count =
      DebugWordCount(txtNumWords_->text().toStdString(), usb.WordCount);
  if (!count) {
    ctx_.messages().show(kApplicationTitle, kBadWordCount);
    return false;
  }
  usb.WordCount = *count;
  txtNumWords_->setText(QString::number(usb.WordCount));
  for (int i = 1; i <= usb.WordCount; ++i) {
    const QString text = txtWriteSpi_[i]->text();
    usb.TxWords[i] = text.isEmpty() ? 0 : HexToLong(text.toStdString());
    txtWriteSpi_[i]->setText(hexDigits(usb.TxWords[i]));
  }
  for (int i = usb.WordCount + 1; i <= kWords; ++i) txtWriteSpi_[i]->clear();
  for (int i = 1; i <= kWords; ++i) txtReadSpi_[i]->clear();
  UsbTransfer(ctx_, usb.WordCount);
  if (!cardPresent()) {
    // The words in RxWords are from an earlier transfer: show none.
    selectNone();
    return false;
  }
  showReadback();
  return true;
}

void frmUSBdebug::showReadback() {
  for (int i = 1; i <= ctx_.usb.WordCount; ++i)
    txtReadSpi_[i]->setText(hexDigits(ctx_.usb.RxWords[i]));
}

void frmUSBdebug::cmdWriteSpi_Click() {
  transferFromBoxes();
}

void frmUSBdebug::cmdLoop_Click() {
  UsbState& usb = ctx_.usb;
  if (cmdLoop_->text() != "Loop") {
    usb.DebugLoopStop = -1;
    cmdLoop_->setText("Loop");
    return;
  }
  cmdLoop_->setText("Stop");
  usb.DebugLoopStop = 0;
  if (!transferFromBoxes()) usb.DebugLoopStop = -1;
  while (usb.DebugLoopStop == 0) {
    UsbTransfer(ctx_, usb.WordCount);
    if (!cardPresent()) {
      usb.DebugLoopStop = -1;
      selectNone();
      cmdLoop_->setText("Loop");
      break;
    }
    showReadback();
    ctx_.ui().processEvents();
  }
  cmdLoop_->setText("Loop");
}

}  // namespace vexa::ui
