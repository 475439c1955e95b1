#pragma once

#include <string>

#include <QString>

class QImage;
class QWidget;

namespace vexa {
struct AppContext;
}

namespace vexa::ui {

// Printing of window images. The program prints through Qt Print Support to the system's
// default printer; tests put their own service in its place and print to PDF files.
class PrintService {
 public:
  virtual ~PrintService() = default;
  // Whether the system has a default printer set up.
  virtual bool hasDefaultPrinter() = 0;
  // `image` to the default printer, as WriteImagePdf lays it out. False with a cause when
  // the printer cannot be opened.
  virtual bool printOnDefaultPrinter(const QImage& image, std::string& cause) = 0;
  // Tells the user that no printer is set up and offers to save the image as a PDF file
  // instead. The file chosen, or empty when the user declines.
  virtual QString offerPdfFile(QWidget* parent) = 0;
  // Asks whether the existing `file` may be replaced.
  virtual bool confirmReplace(QWidget* parent, const QString& file) = 0;
};

// Qt Print Support and the system's printers; asks its questions in message and file windows.
class QtPrintService : public PrintService {
 public:
  bool hasDefaultPrinter() override;
  bool printOnDefaultPrinter(const QImage& image, std::string& cause) override;
  QString offerPdfFile(QWidget* parent) override;
  bool confirmReplace(QWidget* parent, const QString& file) override;
};

// `image` into the PDF file `file`: on one page scaled to fit its printable area, or, when that
// would shrink it far below the page's width (a tall image), at the page's width over as many
// pages as it needs, each page ending between lines of text.
bool WriteImagePdf(const QImage& image, const QString& file, std::string& cause);

enum class PrintOutcome { Printed, SavedAsPdf, Declined, Failed };

// Sends one image of `window` with its current contents to the default printer; with no
// printer set up, offers to save it as a PDF file: an existing file is replaced only when the
// user agrees, and a saved file is named in a message. A failure is told in a message box,
// with its technical cause in the diagnostics.
PrintOutcome PrintWindowImage(QWidget& window, PrintService& printer, AppContext& ctx);
// The same with an image of the window made by the window itself (one showing more than the
// screen does).
PrintOutcome PrintWindowImage(QWidget& window, const QImage& image, PrintService& printer,
                              AppContext& ctx);

}  // namespace vexa::ui
