#pragma once

#include <QString>

class QLabel;
class QLineEdit;

namespace vexa::ui {

// Minimum widths from the font's metrics, so that a layout squeezed to its minimum (Qt gives a
// new window at most two thirds of a small screen) never cuts the widest value a field shows.
void ReserveTextWidth(QLineEdit* field, const QString& widest);
void ReserveTextWidth(QLabel* label, const QString& widest);

}  // namespace vexa::ui
