#pragma once

#include <QImage>

class QPlainTextEdit;
class QWidget;

namespace vexa::ui {

// An image of `window` as it would look were `text` (one of its children) tall enough to show
// every line: the window as it is above and beside the text, the text whole from its first
// line, and the window's part below it moved down. For printing a window whose table is taller
// than the screen; the window itself is left as it was.
QImage WindowImageWithWholeText(QWidget& window, QPlainTextEdit& text);

}  // namespace vexa::ui
