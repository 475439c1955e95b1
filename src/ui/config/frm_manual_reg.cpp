#include "ui/config/frm_manual_reg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/delay.h"
#include "app/hex_text.h"
#include "app/number_format.h"
#include "registers/data_ready_wait.h"
#include "registers/register_access.h"
#include "registers/register_dump.h"
#include "registers/sensor_commands.h"
#include "ui/services/print_service.h"
#include "ui/services/text_width.h"
#include "ui/services/whole_text_image.h"

namespace vexa::ui {

namespace {

constexpr float kWriteSettleMs = 50;
constexpr float kFlashUpdateMs = 250;

QPushButton* button(const char* name, const char* caption) {
  auto* b = new QPushButton(caption);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

// A grey display field.
QLineEdit* display(const char* name) {
  auto* box = new QLineEdit;
  box->setObjectName(name);
  box->setReadOnly(true);
  box->setFocusPolicy(Qt::NoFocus);
  QPalette pal = box->palette();
  pal.setColor(QPalette::Base, QColor(224, 226, 230));
  box->setPalette(pal);
  return box;
}

const char* flagText(int16_t flag) {
  return flag != 0 ? "True" : "False";
}

}  // namespace

frmManualReg::frmManualReg(AppContext& ctx, PrintService& printer, QWidget* parent)
    : QDialog(parent),
      ctx_(ctx),
      printer_(printer),
      Text1_(new QPlainTextEdit),
      cmdReadUserReg_(button("cmdReadUserReg", "Read")),
      cmdPrint_(button("cmdPrint", "Print")),
      cmboRegister_(new QComboBox),
      txtRegAddr_(display("txtRegAddr")),
      txtRegByte_(display("txtRegByte")),
      txtRegRead_(display("txtRegRead")),
      txtRegWrite_(display("txtRegWrite")),
      cmdRead_(button("cmdRead", "Read (Hex)")),
      txtHex_(display("txtHex")),
      txtRegVal_(display("txtRegVal")),
      txtDataWrite_(new QLineEdit),
      cmdWrite_(button("cmdWrite", "Write (Hex)")),
      cmdUpdateFlash_(button("cmdUpdateFlash", "Update Flash")),
      cmdClose_(button("cmdClose", "Close Window")) {
  setObjectName("frmManualReg");
  setWindowTitle("Register Information");
  setModal(true);

  auto* frameUserReg = new QGroupBox("User Registers (Hex Values)");
  frameUserReg->setObjectName("frameUserReg");
  Text1_->setObjectName("Text1");
  Text1_->setTabChangesFocus(true);  // editable, yet Tab still moves on to the buttons
  Text1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  Text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  Text1_->setFont(fixed);
  // Tab stops every 11 characters put the four columns of the dump under their headings: the
  // 20 dashes and the longest names (SUPPLY_OUT and six spaces) stay short of the second stop.
  Text1_->setTabStopDistance(QFontMetricsF(fixed).horizontalAdvance(' ') * 11);
  Text1_->setMinimumSize(QFontMetrics(fixed).horizontalAdvance(QString(74, 'M')), 520);
  auto* userLayout = new QVBoxLayout(frameUserReg);
  userLayout->addWidget(Text1_);
  auto* userButtons = new QHBoxLayout;
  userButtons->addWidget(cmdReadUserReg_);
  userButtons->addWidget(cmdPrint_);
  userButtons->addStretch();
  userLayout->addLayout(userButtons);

  auto* frameRegister = new QGroupBox("Register Read/Write");
  frameRegister->setObjectName("frameRegister");
  cmboRegister_->setObjectName("cmboRegister");
  cmboRegister_->setEditable(false);
  cmboRegister_->setMinimumContentsLength(12);
  txtDataWrite_->setObjectName("txtDataWrite");
  // The widest each field shows: a hex word, a flag, a scaled value in general form with its
  // seven significant digits, sign and exponent.
  for (QLineEdit* hex : {txtRegAddr_, txtHex_, txtDataWrite_}) ReserveTextWidth(hex, "0xMMMM");
  for (QLineEdit* flag : {txtRegByte_, txtRegRead_, txtRegWrite_}) ReserveTextWidth(flag, "False");
  ReserveTextWidth(txtRegVal_, "-8.888888E-08");
  auto* form = new QFormLayout(frameRegister);
  form->addRow(cmboRegister_);
  form->addRow("Base Addr (Hex)", txtRegAddr_);
  form->addRow("Num Bytes", txtRegByte_);
  form->addRow("Read Flag", txtRegRead_);
  form->addRow("Write Flag", txtRegWrite_);
  form->addRow(cmdRead_, txtHex_);
  form->addRow("Deci. Value", txtRegVal_);
  form->addRow(cmdWrite_, txtDataWrite_);
  form->addRow(cmdUpdateFlash_);

  auto* right = new QVBoxLayout;
  right->addWidget(frameRegister);
  right->addStretch();
  right->addWidget(cmdClose_);

  auto* outer = new QHBoxLayout(this);
  outer->addWidget(frameUserReg, 1);
  outer->addLayout(right);

  connect(cmdReadUserReg_, &QPushButton::clicked, this, [this] { cmdReadUserReg_Click(); });
  connect(cmdPrint_, &QPushButton::clicked, this, [this] { cmdPrint_Click(); });
  connect(cmboRegister_, QOverload<int>::of(&QComboBox::activated), this,
          [this] { cmboRegister_Click(); });
  connect(cmdRead_, &QPushButton::clicked, this, [this] { cmdRead_Click(); });
  connect(cmdWrite_, &QPushButton::clicked, this, [this] { cmdWrite_Click(); });
  connect(cmdUpdateFlash_, &QPushButton::clicked, this, [this] { cmdUpdateFlash_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

frmManualReg::frmManualReg(AppContext& ctx, std::unique_ptr<PrintService> printer, QWidget* parent)
    : frmManualReg(ctx, *printer, parent) {
  ownPrinter_ = std::move(printer);
}

frmManualReg::~frmManualReg() = default;

void frmManualReg::Form_Load(const QPoint& mainTopLeft) {
  move(mainTopLeft);
  cmboRegister_->clear();
  for (int16_t i = 0; i <= LastRegisterIndex; ++i)
    cmboRegister_->addItem(QString::fromStdString(ctx_.registers.Label[i]));
  cmboRegister_->setCurrentIndex(-1);
  cmdReadUserReg_Click();
}

void frmManualReg::closeEvent(QCloseEvent* event) {
  // The close box hides the window; it stays loaded for the next opening.
  event->ignore();
  hide();
}

void frmManualReg::cmdReadUserReg_Click() {
  QStringList lines;
  // Rows stop at a failed transfer: what it left behind is not what the sensor holds.
  const auto lost = [this] { return TransportLost(ctx_); };
  for (const std::string& line : RegisterDumpLines(ctx_, lost))
    lines << QString::fromStdString(line);
  Text1_->setPlainText(lines.join('\n'));
}

void frmManualReg::cmboRegister_Click() {
  const int row = cmboRegister_->currentIndex();
  if (row < 0) return;
  const RegisterTable& t = ctx_.registers;
  txtRegAddr_->setText(QString::fromStdString(HexText(t.BaseAddr[row])));
  txtRegByte_->setText(QString::number(t.NumBytes[row]));
  txtRegRead_->setText(flagText(t.ReadFlag[row]));
  txtRegWrite_->setText(flagText(t.WriteFlag[row]));
  cmdWrite_->setEnabled(t.WriteFlag[row] != 0);
  cmdRead_->setEnabled(t.ReadFlag[row] != 0);
  cmdRead_Click();
}

void frmManualReg::cmdRead_Click() {
  const int row = cmboRegister_->currentIndex();
  const RegisterTable& t = ctx_.registers;
  if (row < 0 || t.ReadFlag[row] == 0 || t.Hidden[row] != 0) return;
  ReadRegister(ctx_, static_cast<int16_t>(row));
  txtHex_->setText(QString::fromStdString(HexText(ctx_.access.LastRaw)));
  txtRegVal_->setText(QString::fromStdString(GeneralNumber(ctx_.access.LastScaled)));
}

void frmManualReg::cmdWrite_Click() {
  const int row = cmboRegister_->currentIndex();
  if (row < 0) return;  // no register chosen: nothing to write to
  WriteRegister(ctx_, static_cast<int16_t>(row), HexToLong(txtDataWrite_->text().toStdString()));
  DelayMs(ctx_, kWriteSettleMs);
  cmdRead_Click();
}

void frmManualReg::cmdUpdateFlash_Click() {
  WriteRegister(ctx_, COMMAND, kCommandFlashUpdate);
  DelayMs(ctx_, kFlashUpdateMs);
}

void frmManualReg::cmdPrint_Click() {
  // The whole table, however far the screen lets the window show it.
  PrintWindowImage(*this, WindowImageWithWholeText(*this, *Text1_), printer_, ctx_);
}

}  // namespace vexa::ui
