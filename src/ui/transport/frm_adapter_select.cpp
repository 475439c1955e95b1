#include "ui/transport/frm_adapter_select.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

#include "app/typed_number.h"
#include "platform/ftdi_causes.h"
#include "transport/adapter/adapter_spi.h"
#include "ui/services/qt_text.h"

namespace vexa::ui {

frmAdapterSelect::frmAdapterSelect(AppContext& ctx, int16_t interface, QWidget* parent)
    : QDialog(parent),
      ctx_(ctx),
      interface_(interface),
      lstAdapters_(new QListWidget),
      cmdSearch_(new QPushButton("Search")),
      txtClock_(new QLineEdit),
      cmboMode_(new QComboBox),
      txtPause_(new QLineEdit),
      cmdTest_(new QPushButton("Test")),
      lblTestResult_(new QLabel),
      cmdOK_(new QPushButton("OK")),
      cmdCancel_(new QPushButton("Cancel")) {
  setObjectName(ftdi() ? "frmFtdiSelect" : "frmSpidevSelect");
  setWindowTitle(ftdi() ? "FTDI Adapter Selection" : "spidev Adapter Selection");
  setModal(true);
  lstAdapters_->setObjectName("lstAdapters");
  lstAdapters_->setMinimumSize(460, 110);
  cmdSearch_->setObjectName("cmdSearch");
  txtClock_->setObjectName("txtClock");
  cmboMode_->setObjectName("cmboMode");
  txtPause_->setObjectName("txtPause");
  cmdTest_->setObjectName("cmdTest");
  lblTestResult_->setObjectName("lblTestResult");
  lblTestResult_->setMinimumWidth(260);
  lblTestResult_->setWordWrap(true);  // "... no sensor answers; check the wiring" is long
  cmdOK_->setObjectName("cmdOK");
  cmdOK_->setDefault(true);
  cmdCancel_->setObjectName("cmdCancel");
  for (int mode = 0; mode <= 3; ++mode)
    cmboMode_->addItem(mode == 3 ? "3 (clock idles high, sampled on rising edge)"
                                 : QString::number(mode));

  auto* form = new QFormLayout;
  if (ftdi()) {
    cmboInterface_ = new QComboBox;
    cmboInterface_->setObjectName("cmboInterface");
    for (const char* c : {"A", "B", "C", "D"}) cmboInterface_->addItem(c);
    cmboCsPin_ = new QComboBox;
    cmboCsPin_->setObjectName("cmboCsPin");
    for (int pin = 3; pin <= 7; ++pin) cmboCsPin_->addItem(QString("ADBUS%1").arg(pin));
    form->addRow("Interface", cmboInterface_);
  }
  form->addRow("SPI clock (Hz)", txtClock_);
  form->addRow("SPI mode", cmboMode_);
  if (ftdi()) form->addRow("Chip select", cmboCsPin_);
  form->addRow("Pause after each frame (us)", txtPause_);

  auto* listHeader = new QHBoxLayout;
  listHeader->addWidget(
      new QLabel(ftdi() ? "Boards found (description, serial, bus-port)" : "Device nodes found"));
  listHeader->addStretch();
  listHeader->addWidget(cmdSearch_);
  auto* test = new QHBoxLayout;
  test->addWidget(cmdTest_);
  test->addWidget(lblTestResult_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdCancel_);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(listHeader);
  outer->addWidget(lstAdapters_);
  outer->addLayout(form);
  outer->addLayout(test);
  outer->addLayout(buttons);

  connect(cmdSearch_, &QPushButton::clicked, this, [this] { cmdSearch_Click(); });
  connect(cmdTest_, &QPushButton::clicked, this, [this] { cmdTest_Click(); });
  connect(cmdOK_, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

bool frmAdapterSelect::ftdi() const {
  return interface_ == kInterfaceFtdi;
}

void frmAdapterSelect::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  chosen_ = false;
  tested_ = false;
  kept_ = ctx_.preferences;
  lblTestResult_->clear();
  loadSettings();
  cmdSearch_Click();
}

// Cancel, Escape and the close box all hide the window without OK: a Test may have stored
// the settings shown, and those go back to what they were at the opening.
void frmAdapterSelect::hideEvent(QHideEvent* event) {
  if (!chosen_) ctx_.preferences = kept_;
  QDialog::hideEvent(event);
}

void frmAdapterSelect::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

void frmAdapterSelect::loadSettings() {
  if (ftdi()) {
    const FtdiChoice c = ReadFtdiChoice(ctx_.preferences);
    cmboInterface_->setCurrentIndex(c.selector.channel - 'A');
    txtClock_->setText(QString::number(c.setup.clockHz));
    cmboMode_->setCurrentIndex(c.setup.mode);
    cmboCsPin_->setCurrentIndex(c.setup.csPin - 3);
    txtPause_->setText(QString::number(c.setup.pauseUs));
  } else {
    const SpidevSetup s = ReadSpidevChoice(ctx_.preferences);
    txtClock_->setText(QString::number(s.speedHz));
    cmboMode_->setCurrentIndex(s.mode);
    txtPause_->setText(QString::number(s.pauseUs));
  }
}

void frmAdapterSelect::cmdSearch_Click() {
  lstAdapters_->clear();
  keys_.clear();
  serials_.clear();
  std::string wanted;
  if (ftdi()) {
    const FtdiChoice c = ReadFtdiChoice(ctx_.preferences);
    std::vector<FtdiBoard> boards;
    std::string cause;
    if (ctx_.platform.ftdi == nullptr || !ctx_.platform.ftdi->list(c.selector.ids, boards, cause)) {
      lstAdapters_->addItem(text(cause.empty() ? "FTDI support is not available" : cause));
      return;
    }
    for (const FtdiBoard& b : boards) {
      char id[16];
      std::snprintf(id, sizeof id, "%04x:%04x", b.id.vendor, b.id.product);
      lstAdapters_->addItem(text(b.description + "   serial " +
                                 (b.serial.empty() ? "(none)" : b.serial) + "   bus-port " +
                                 b.busPort() + "   " + id));
      keys_.push_back(b.busPort());
      serials_.push_back(b.serial);
      if ((!c.selector.serial.empty() && b.serial == c.selector.serial) ||
          (!c.selector.busPort.empty() && b.busPort() == c.selector.busPort))
        wanted = b.busPort();
    }
    if (boards.empty()) lstAdapters_->addItem(text("none: " + ftdi_causes::noBoard(c.selector)));
  } else {
    wanted = ReadSpidevChoice(ctx_.preferences).device;
    if (ctx_.platform.spidev != nullptr) {
      for (const std::string& node : ctx_.platform.spidev->nodes()) {
        lstAdapters_->addItem(text(node));
        keys_.push_back(node);
        serials_.emplace_back();
      }
    }
    if (keys_.empty())
      lstAdapters_->addItem("none: enable the SPI controller and its spidev device");
  }
  if (keys_.empty()) return;
  int row = 0;
  for (size_t i = 0; i < keys_.size(); ++i)
    if (keys_[i] == wanted) row = static_cast<int>(i);
  lstAdapters_->setCurrentRow(row);
}

bool frmAdapterSelect::applySettings() {
  // The command line's forms too: "2M", "500k".
  const long clock = HertzFromText(txtClock_->text().toStdString());
  const long low = 1000, high = ftdi() ? 30000000 : 100000000;
  if (clock < low || clock > high) {
    ctx_.messages().show(kApplicationTitle, "SPI clock: give " + std::to_string(low) + " to " +
                                                std::to_string(high) + " Hz");
    return false;
  }
  const TypedNumber pause = ReadTypedNumber(txtPause_->text().toStdString());
  if (!pause.whole || pause.leading < kMinimumPauseUs || pause.leading > 65535) {
    ctx_.messages().show(kApplicationTitle, "Pause: give 100 to 65535 microseconds");
    return false;
  }
  const int row = lstAdapters_->currentRow();
  const bool listed = row >= 0 && static_cast<size_t>(row) < keys_.size();
  if (ftdi()) {
    FtdiChoice c = ReadFtdiChoice(ctx_.preferences);
    if (listed) {
      // The board is named by its serial where it has one, so it may move to another socket.
      c.selector.serial = serials_[static_cast<size_t>(row)];
      c.selector.busPort = c.selector.serial.empty() ? keys_[static_cast<size_t>(row)] : "";
    }
    c.selector.channel = static_cast<char>('A' + cmboInterface_->currentIndex());
    c.setup.clockHz = static_cast<uint32_t>(clock);
    c.setup.mode = cmboMode_->currentIndex();
    c.setup.csPin = 3 + cmboCsPin_->currentIndex();
    c.setup.pauseUs = pause.leading;
    WriteFtdiChoice(ctx_.preferences, c);
  } else {
    SpidevSetup s = ReadSpidevChoice(ctx_.preferences);
    if (listed) s.device = keys_[static_cast<size_t>(row)];
    s.speedHz = static_cast<uint32_t>(clock);
    s.mode = cmboMode_->currentIndex();
    s.pauseUs = pause.leading;
    WriteSpidevChoice(ctx_.preferences, s);
  }
  return true;
}

void frmAdapterSelect::cmdTest_Click() {
  lblTestResult_->clear();
  if (!applySettings()) return;
  tested_ = true;
  int32_t product = 0;
  if (!AdapterReadProductId(ctx_, interface_, product)) {
    lblTestResult_->setText("Test failed");
    return;
  }
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(product));
  QString text = QString("PROD_ID = %1 (%2)").arg(product).arg(hex);
  if (product == 0 || product == 0xFFFF) text += ": no sensor answers; check the wiring";
  lblTestResult_->setText(text);
}

void frmAdapterSelect::cmdOK_Click() {
  if (!applySettings()) return;
  chosen_ = true;
  OpenAdapter(ctx_, interface_);
  hide();
}

}  // namespace vexa::ui
