#include "ui/services/text_width.h"

#include <algorithm>

#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace vexa::ui {

namespace {

// A line edit keeps two pixels on each side of its text, and one more for the cursor.
constexpr int kLineEditTextMargins = 5;

}  // namespace

void ReserveTextWidth(QLineEdit* field, const QString& widest) {
  QStyleOptionFrame opt;
  opt.initFrom(field);
  const int frame = field->hasFrame()
                        ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, field)
                        : 0;
  const QMargins m = field->textMargins();
  field->setMinimumWidth(field->fontMetrics().horizontalAdvance(widest) + 2 * frame + m.left() +
                         m.right() + kLineEditTextMargins);
}

void ReserveTextWidth(QLabel* label, const QString& widest) {
  const int frame = label->frameWidth() + label->margin();
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest) + 2 * frame +
                         std::max(0, label->indent()) + 2);
}

}  // namespace vexa::ui
