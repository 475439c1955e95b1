#include "ui/services/screen_fit.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vexa::ui {

namespace {

// Title bar and borders the window system adds around a window.
constexpr QSize kDecorations(16, 40);
// A desktop panel the available area may not leave out.
constexpr int kPanel = 40;

}  // namespace

QSize ScreenRoom() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return QSize(1280, 1024);
  return screen->availableGeometry().size() - kDecorations - QSize(0, kPanel);
}

void FitToScreen(QWidget& window, QSize preferred) {
  const QSize size = preferred.boundedTo(ScreenRoom()).expandedTo(window.minimumSizeHint());
  window.resize(size);
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize framed = size + kDecorations;
  window.move(area.left() + std::max(0, (area.width() - framed.width()) / 2),
              area.top() + std::max(0, (area.height() - framed.height() - kPanel) / 2));
}

}  // namespace vexa::ui
