#pragma once

#include <QDialog>

#include "app/app_context.h"

class QLineEdit;
class QPushButton;

namespace vexa::ui {

// "Parallel Port Setup": the user types the port's address in hexadecimal and so selects the
// parallel-port interface. Hidden, never unloaded, between openings.
// Controls (objectName): txtUser, cmdOK, cmdCancel.
class frmPort : public QDialog {
  Q_OBJECT

 public:
  explicit frmPort(AppContext& ctx, QWidget* parent = nullptr);

  void cmdOK_Click();
  void cmdCancel_Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  AppContext& ctx_;
  QLineEdit* txtUser_;
  QPushButton* cmdOK_;
  QPushButton* cmdCancel_;
};

}  // namespace vexa::ui
