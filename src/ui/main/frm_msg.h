#pragma once

#include <QWidget>

class QLabel;

namespace vexa::ui {

// The small window shown while the program starts. One label, lblMsg.
class frmMsg : public QWidget {
  Q_OBJECT

 public:
  explicit frmMsg(QWidget* parent = nullptr);
  QLabel* lblMsg() const { return lblMsg_; }

 private:
  QLabel* lblMsg_;
};

}  // namespace vexa::ui
