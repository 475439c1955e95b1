#include "ui/main/frm_msg.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/app_context.h"

namespace vexa::ui {

frmMsg::frmMsg(QWidget* parent) : QWidget(parent, Qt::Window), lblMsg_(new QLabel(this)) {
  setObjectName("frmMsg");
  setWindowTitle(kApplicationTitle);
  lblMsg_->setObjectName("lblMsg");
  lblMsg_->setAlignment(Qt::AlignCenter);
  QFont f = lblMsg_->font();
  f.setPointSizeF(f.pointSizeF() * 1.2);
  f.setBold(true);
  lblMsg_->setFont(f);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(36, 24, 36, 24);
  layout->addWidget(lblMsg_);
  setMinimumSize(360, 160);
}

}  // namespace vexa::ui
