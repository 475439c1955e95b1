#include "ui/results/unit_field.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include "results/recording.h"

namespace vexa::ui {

UnitField::UnitField(AppContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx), product_(results::ReadProductNumber(ctx)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel("Unit", this);
  txtUnit_ = new QLineEdit(QString::fromStdString(ctx.preferences.text(results::kUnitKey)), this);
  txtUnit_->setObjectName("txtUnit");
  txtUnit_->setPlaceholderText("the module's label (empty: its product number)");
  txtUnit_->setMaxLength(120);
  label->setBuddy(txtUnit_);
  lblResultsStore_ = new QLabel(this);
  lblResultsStore_->setObjectName("lblResultsStore");
  layout->addWidget(label);
  layout->addWidget(txtUnit_, 1);
  layout->addWidget(lblResultsStore_);
  connect(txtUnit_, &QLineEdit::textEdited, this, [this](QString text) {
    // A pasted tab or escape would be refused at the store; it never gets into the name.
    static const QRegularExpression controls("[\\x{0}-\\x{1F}\\x{7F}-\\x{9F}]");
    if (text.contains(controls)) {
      const int cursor = txtUnit_->cursorPosition();
      const int before = static_cast<int>(text.size());
      text.remove(controls);
      txtUnit_->setText(text);
      txtUnit_->setCursorPosition(cursor - (before - static_cast<int>(text.size())));
    }
    ctx_.preferences.setText(results::kUnitKey, text.trimmed().toStdString());
  });
}

std::string UnitField::unit() const {
  return txtUnit_->text().trimmed().toStdString();
}

void UnitField::showState(const std::string& state) {
  lblResultsStore_->setText(QString::fromStdString(state));
  lblResultsStore_->setStyleSheet(state == "results store: online" ? "" : "color: #a33a00;");
}

void UnitField::keepRun(const std::string& started, const datalog::LogSettings& settings,
                        const datalog::SamplingChoice& sampling, const datalog::LogResult& result) {
  showState(results::KeepLogRun(ctx_, results::DatabaseAddress(ctx_), unit(), started, settings,
                                sampling, result, product_));
}

void UnitField::keepCalibration(results::CalibrationKind kind,
                                const std::vector<results::RegisterChange>& registers) {
  showState(results::KeepCalibration(ctx_, unit(), product_, kind, registers));
}

}  // namespace vexa::ui
