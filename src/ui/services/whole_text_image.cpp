#include "ui/services/whole_text_image.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <cmath>

namespace vexa::ui {

namespace {

// The height the text's lines take, with the document's margins.
int wholeTextHeight(const QPlainTextEdit& text) {
  const QTextDocument& doc = *text.document();
  double height = 2 * doc.documentMargin();
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    height += doc.documentLayout()->blockBoundingRect(b).height();
  return int(std::ceil(height));
}

}  // namespace

QImage WindowImageWithWholeText(QWidget& window, QPlainTextEdit& text) {
  const QPixmap base = window.grab();
  const double ratio = base.devicePixelRatio();
  const int extra = std::max(0, wholeTextHeight(text) - text.viewport()->height());
  if (extra == 0) return base.toImage();

  // The text drawn whole: made taller for a moment, scrolled to its first line.
  const QRect kept = text.geometry();
  const int scrolled = text.verticalScrollBar()->value();
  text.resize(kept.width(), kept.height() + extra);
  text.verticalScrollBar()->setValue(0);
  const QPixmap whole = text.grab();
  text.setGeometry(kept);
  text.verticalScrollBar()->setValue(scrolled);

  const QRect at(text.mapTo(&window, QPoint(0, 0)), kept.size());
  const QSize size(base.width(), base.height() + int(std::lround(extra * ratio)));
  QImage image(size, QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(window.palette().color(QPalette::Window));
  QPainter painter(&image);
  const auto device = [ratio](double v) { return v * ratio; };
  const int below = at.bottom() + 1;  // the first row under the text, in the window
  painter.drawPixmap(QRectF(0, 0, window.width(), below), base,
                     QRectF(0, 0, base.width(), device(below)));
  painter.drawPixmap(QRectF(0, below + extra, window.width(), window.height() - below), base,
                     QRectF(0, device(below), base.width(), base.height() - device(below)));
  painter.drawPixmap(QPointF(at.topLeft()), whole);
  painter.end();
  return image;
}

}  // namespace vexa::ui
