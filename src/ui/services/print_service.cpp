#include "ui/services/print_service.h"

#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>

#include "app/app_context.h"

namespace vexa::ui {

namespace {

constexpr const char* kNoPrinterQuestion =
    "No printer is set up on this system.\n\nSave the image of the window as a PDF file instead?";
constexpr const char* kPrintFailed = "The window could not be printed.";
constexpr const char* kPdfFailed = "The PDF file could not be written.";

// Draws the image on one page of an open printer, as large as fits, keeping its proportions.
bool paintImage(QPrinter& printer, const QImage& image, std::string& cause) {
  QPainter painter;
  if (!painter.begin(&printer)) {
    cause = printer.outputFileName().isEmpty()
                ? "the printer " + printer.printerName().toStdString() + " could not be opened"
                : "cannot write " + printer.outputFileName().toStdString();
    return false;
  }
  const QRect page = painter.viewport();
  QSize size = image.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  painter.setViewport(page.x(), page.y(), size.width(), size.height());
  painter.setWindow(image.rect());
  painter.drawImage(0, 0, image);
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
  QString file = QFileDialog::getSaveFileName(parent, "Save as PDF",
                                              QDir::home().filePath("Register Information.pdf"),
                                              "PDF files (*.pdf)");
  if (!file.isEmpty() && !file.endsWith(".pdf", Qt::CaseInsensitive)) file += ".pdf";
  return file;
}

bool WriteImagePdf(const QImage& image, const QString& file, std::string& cause) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(file);
  printer.setDocName("Register Information");
  return paintImage(printer, image, cause);
}

PrintOutcome PrintWindowImage(QWidget& window, PrintService& printer, AppContext& ctx) {
  const QImage image = window.grab().toImage();
  std::string cause;
  if (printer.hasDefaultPrinter()) {
    if (printer.printOnDefaultPrinter(image, cause)) return PrintOutcome::Printed;
    fail(ctx, kPrintFailed, cause);
    return PrintOutcome::Failed;
  }
  const QString file = printer.offerPdfFile(&window);
  if (file.isEmpty()) return PrintOutcome::Declined;
  if (WriteImagePdf(image, file, cause)) return PrintOutcome::SavedAsPdf;
  fail(ctx, kPdfFailed, cause);
  return PrintOutcome::Failed;
}

}  // namespace vexa::ui
