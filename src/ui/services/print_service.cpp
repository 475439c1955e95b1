#include "ui/services/print_service.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app_context.h"

namespace vexa::ui {

namespace {

constexpr const char* kNoPrinterQuestion =
    "No printer is set up on this system.\n\nSave the image of the window as a PDF file instead?";
constexpr const char* kPrintFailed = "The window could not be printed.";
constexpr const char* kPdfFailed = "The PDF file could not be written.";

// Below this share of the page's width a tall image is no longer shrunk onto one page but
// printed at the page's width over as many pages as it needs.
constexpr double kSmallestOnePageShare = 0.75;

// Where a page that would end at `end` ends instead: at the lowest row above it, within a tenth
// of the page, that repeats the row before it (a gap between lines of text), so no line of
// text is cut in two; else at `end`.
int pageEnd(const QImage& image, int begin, int end) {
  if (end >= image.height()) return image.height();
  const int lowest = std::max(begin + 1, end - (end - begin) / 10);
  for (int y = end; y > lowest; --y)
    if (std::memcmp(image.constScanLine(y), image.constScanLine(y - 1),
                    size_t(image.bytesPerLine())) == 0)
      return y;
  return end;
}

// Draws the image on an open printer keeping its proportions: on one page, as large as fits,
// unless that would shrink it far below the page's width; then at the page's width, cut into
// as many pages as it needs.
bool paintImage(QPrinter& printer, const QImage& image, std::string& cause) {
  QPainter painter;
  if (!painter.begin(&printer)) {
    cause = printer.outputFileName().isEmpty()
                ? "the printer " + printer.printerName().toStdString() + " could not be opened"
                : "cannot write " + printer.outputFileName().toStdString();
    return false;
  }
  const QRect page = painter.viewport();
  const double widthScale = double(page.width()) / std::max(1, image.width());
  const double wholeScale =
      std::min(widthScale, double(page.height()) / std::max(1, image.height()));
  if (wholeScale >= kSmallestOnePageShare * widthScale) {
    QSize size = image.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    painter.setViewport(page.x(), page.y(), size.width(), size.height());
    painter.setWindow(image.rect());
    painter.drawImage(0, 0, image);
    return painter.end();
  }
  const QImage rows = image.convertToFormat(QImage::Format_RGB32);
  const int rowsPerPage = std::max(1, int(page.height() / widthScale));
  for (int top = 0; top < rows.height();) {
    if (top > 0 && !printer.newPage()) {
      cause = "the printer could not start a new page";
      painter.end();
      return false;
    }
    const int bottom = pageEnd(rows, top, top + rowsPerPage);
    const QRect slice(0, top, rows.width(), bottom - top);
    painter.drawImage(QRectF(page.x(), page.y(), page.width(), slice.height() * widthScale), rows,
                      slice);
    top = bottom;
  }
  return painter.end();
}

void fail(AppContext& ctx, const char* text, const std::string& cause) {
  if (ctx.platform.diagnostics != nullptr && !cause.empty()) ctx.platform.diagnostics->cause(cause);
  ctx.messages().show(kApplicationTitle, text, MessageIcon::Warning);
}

}  // namespace

bool QtPrintService::hasDefaultPrinter() {
  return !QPrinterInfo::defaultPrinter().isNull();
}

bool QtPrintService::printOnDefaultPrinter(const QImage& image, std::string& cause) {
  QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
  printer.setDocName("Register Information");
  return paintImage(printer, image, cause);
}

QString QtPrintService::offerPdfFile(QWidget* parent) {
  const auto answer = QMessageBox::question(parent, kApplicationTitle, kNoPrinterQuestion,
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  if (answer != QMessageBox::Yes) return {};
  // The dialog would check the name before ".pdf" is added: PrintWindowImage asks instead.
  QString file = QFileDialog::getSaveFileName(
      parent, "Save as PDF", QDir::home().filePath("Register Information.pdf"), "PDF files (*.pdf)",
      nullptr, QFileDialog::DontConfirmOverwrite);
  if (!file.isEmpty() && !file.endsWith(".pdf", Qt::CaseInsensitive)) file += ".pdf";
  return file;
}

bool QtPrintService::confirmReplace(QWidget* parent, const QString& file) {
  return QMessageBox::question(
             parent, kApplicationTitle, QString("%1 already exists.\n\nReplace it?").arg(file),
             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool WriteImagePdf(const QImage& image, const QString& file, std::string& cause) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(file);
  printer.setDocName("Register Information");
  return paintImage(printer, image, cause);
}

PrintOutcome PrintWindowImage(QWidget& window, PrintService& printer, AppContext& ctx) {
  return PrintWindowImage(window, window.grab().toImage(), printer, ctx);
}

PrintOutcome PrintWindowImage(QWidget& window, const QImage& image, PrintService& printer,
                              AppContext& ctx) {
  std::string cause;
  if (printer.hasDefaultPrinter()) {
    if (printer.printOnDefaultPrinter(image, cause)) return PrintOutcome::Printed;
    fail(ctx, kPrintFailed, cause);
    return PrintOutcome::Failed;
  }
  const QString file = printer.offerPdfFile(&window);
  if (file.isEmpty()) return PrintOutcome::Declined;
  if (QFileInfo::exists(file) && !printer.confirmReplace(&window, file))
    return PrintOutcome::Declined;
  // Written beside it first and renamed over it, so a failed write leaves an earlier file whole.
  const QString part = file + ".part";
  if (WriteImagePdf(image, part, cause) &&
      std::rename(part.toLocal8Bit().constData(), file.toLocal8Bit().constData()) == 0) {
    ctx.messages().show(kApplicationTitle,
                        "The image of the window was saved as " + file.toStdString() + ".",
                        MessageIcon::Information);
    return PrintOutcome::SavedAsPdf;
  }
  if (cause.empty()) cause = "cannot rename " + part.toStdString() + " to " + file.toStdString();
  QFile::remove(part);
  fail(ctx, kPdfFailed, cause);
  return PrintOutcome::Failed;
}

}  // namespace vexa::ui
