// The register information window against the simulated sensor: the dump, the register list
// and its flags, reading and writing in hexadecimal, staying loaded between openings, and
// printing through the printing service.

#include <cmath>

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "registers/register_dump.h"
#include "ui/config/frm_manual_reg.h"
#include "ui/config_windows_fixture.h"
#include "ui/services/print_service.h"

namespace vexa::ui::testing {
namespace {

// Prints to PDF files in the test's folder; with no printer, answers the offer with `offer`.
class PdfPrintService : public PrintService {
 public:
  explicit PdfPrintService(QString folder) : folder_(std::move(folder)) {}
  bool hasDefaultPrinter() override { return printerSetUp; }
  bool printOnDefaultPrinter(const QImage& image, std::string& cause) override {
    printed.push_back(image);
    return WriteImagePdf(image, printerFile(), cause);
  }
  QString offerPdfFile(QWidget*) override {
    ++offers;
    return offer;
  }
  bool confirmReplace(QWidget*, const QString& file) override {
    replaceQuestions << file;
    return replace;
  }
  QString printerFile() const { return folder_ + "/default-printer.pdf"; }

  bool printerSetUp = true;
  QString offer;
  int offers = 0;
  bool replace = false;  // the answer to "Replace it?"
  QStringList replaceQuestions;
  std::vector<QImage> printed;

 private:
  QString folder_;
};

bool isPdf(const QString& file) {
  QFile f(file);
  return f.open(QIODevice::ReadOnly) && f.read(5) == "%PDF-" && f.size() > 1000;
}

class RegisterWindow : public ConfigWindowsTest {
 protected:
  void SetUp() override { load(); }

  static QStringList dump(QDialog& d) {
    return in<QPlainTextEdit>(d, "Text1")->toPlainText().split('\n');
  }
  static void choose(QDialog& d, int row) {
    auto* list = in<QComboBox>(d, "cmboRegister");
    list->setCurrentIndex(row);
    emit list->activated(row);
  }
  static bool enabled(QDialog& d, const char* name) {
    return in<QPushButton>(d, name)->isEnabled();
  }
};

TEST_F(RegisterWindow, DumpsEveryRegisterLineByLine) {
  poke(XGYRO_OFF, 0x1FFF);  // -1 in 13 bits
  QStringList lines;
  open("mnuRegisters", [&lines](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Register Information");
    // A text field, unlike the grey display fields: a note typed into the dump is printed too.
    EXPECT_FALSE(in<QPlainTextEdit>(d, "Text1")->isReadOnly());
    lines = dump(d);
  });
  ASSERT_EQ(lines.size(), 48);
  EXPECT_EQ(lines[0], "Name\t\tAddr\thexValue\t   decValue");
  EXPECT_EQ(lines[1], "--------------------\t---------\t---------\t   ---------");
  const std::vector<std::pair<int, QString>> rows = {
      {XGYRO_OFF, "XGYRO_OFF      \t0x001A\t0xFFFF\t   -0.0125"},
      {ZGYRO_OFF, "ZGYRO_ OFF      \t0x001E\t0x0000\t   0.0"},
      {COMMAND, "COMMAND      \t0x003E\t0x0000\t   0.0"},
      {Reserved1, "reserved      \t0x004C\t0x0000\t   0.0"},
      {Reserved2, "reserved      \t0x0050\t0x0000\t   0.0"},
      {REV, "REV           \t0x0052\t0x0012\t   18.0"},
      {DATE, "DATE           \t0x0053\t0x000E\t   14.0"},
      {MONTH, "MONTH      \t0x0054\t0x0006\t   6.0"},
      {PROD_ID, "PROD_ID      \t0x0056\t0x6A0E\t   27150.0"},
  };
  for (const auto& [row, line] : rows) EXPECT_EQ(lines[row + 2], line) << row;
  // The command line prints the same dump, from the same code.
  QStringList again;
  for (const std::string& l : RegisterDumpLines(ctx())) again << QString::fromStdString(l);
  EXPECT_EQ(again, lines);
}

TEST_F(RegisterWindow, DumpColumnsLineUpUnderTheirHeadings) {
  // The character column where each run of text between tabs begins, with the field's stops.
  auto starts = [](const QString& line, int stop) {
    std::vector<int> columns;
    int column = 0;
    bool inText = false;
    for (QChar c : line) {
      if (c == '\t') {
        column = (column / stop + 1) * stop;
        inText = false;
        continue;
      }
      if (!inText) columns.push_back(column);
      inText = true;
      ++column;
    }
    return columns;
  };
  open("mnuRegisters", [&starts](QDialog& d) {
    auto* field = in<QPlainTextEdit>(d, "Text1");
    const double space = QFontMetricsF(field->font()).horizontalAdvance(' ');
    const int stop = static_cast<int>(std::lround(field->tabStopDistance() / space));
    const QStringList lines = field->toPlainText().split('\n');
    const std::vector<int> headings = starts(lines[0], stop);
    ASSERT_EQ(headings.size(), 4u);
    for (const QString& line : lines) EXPECT_EQ(starts(line, stop), headings) << line.toStdString();
  });
}

TEST_F(RegisterWindow, ChoosingARegisterShowsItsRowAndItsFlagsGateTheButtons) {
  struct Case {
    int row;
    const char* addr;
    const char* bytes;
    const char* readFlag;
    const char* writeFlag;
    bool readEnabled, writeEnabled;
    const char* hex;  // what Read (Hex) shows; nullptr: nothing read
  };
  const std::vector<Case> cases = {
      {COMMAND, "0x003E", "1", "False", "True", false, true, nullptr},
      {STATUS, "0x003C", "2", "True", "False", true, false, "0x0000"},
      {SMPL_PRD, "0x0036", "2", "True", "True", true, true, "0x0001"},
      {Reserved1, "0x004C", "2", "False", "False", false, false, nullptr},
  };
  open("mnuRegisters", [&cases](QDialog& d) {
    auto* list = in<QComboBox>(d, "cmboRegister");
    EXPECT_EQ(list->count(), 46);
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(list->itemText(Reserved2), "Reserved");
    EXPECT_TRUE(enabled(d, "cmdRead") && enabled(d, "cmdWrite"));
    for (const Case& c : cases) {
      in<QLineEdit>(d, "txtHex")->clear();
      choose(d, c.row);
      EXPECT_EQ(text(d, "txtRegAddr"), c.addr) << c.row;
      EXPECT_EQ(text(d, "txtRegByte"), c.bytes) << c.row;
      EXPECT_EQ(text(d, "txtRegRead"), c.readFlag) << c.row;
      EXPECT_EQ(text(d, "txtRegWrite"), c.writeFlag) << c.row;
      EXPECT_EQ(enabled(d, "cmdRead"), c.readEnabled) << c.row;
      EXPECT_EQ(enabled(d, "cmdWrite"), c.writeEnabled) << c.row;
      EXPECT_EQ(text(d, "txtHex"), c.hex ? c.hex : "") << c.row;
    }
  });
}

TEST_F(RegisterWindow, WritesHexadecimalTextAndShowsWhatTheSensorReturns) {
  const uint16_t endurance = peek(ENDURANCE);
  open("mnuRegisters", [this](QDialog& d) {
    monitor.clear();
    click(d, "cmdWrite");  // no register chosen: nothing happens
    EXPECT_TRUE(monitor.frames().empty());

    choose(d, SMPL_PRD);
    in<QLineEdit>(d, "txtDataWrite")->setText("1f");
    const double before = world.clock.monotonicSeconds();
    click(d, "cmdWrite");
    EXPECT_GE(world.clock.monotonicSeconds() - before, 0.050);
    EXPECT_EQ(peek(SMPL_PRD), 0x1F);
    EXPECT_EQ(text(d, "txtHex"), "0x001F");
    EXPECT_EQ(text(d, "txtRegVal"), "31");

    choose(d, XGYRO_OFF);
    in<QLineEdit>(d, "txtDataWrite")->setText("1FFF");
    click(d, "cmdWrite");
    EXPECT_EQ(text(d, "txtHex"), "0xFFFF");
    EXPECT_EQ(text(d, "txtRegVal"), "-0.01249905");

    // COMMAND: the flash update goes out, nothing is read back.
    choose(d, COMMAND);
    in<QLineEdit>(d, "txtDataWrite")->setText("8");
    monitor.clear();
    click(d, "cmdWrite");
    EXPECT_EQ(writeFrames(), (std::vector<uint16_t>{0xBF00, 0xBE08}));
    EXPECT_EQ(monitor.frames().size(), 2u);

    monitor.clear();
    const double flashStart = world.clock.monotonicSeconds();
    click(d, "cmdUpdateFlash");
    EXPECT_GE(world.clock.monotonicSeconds() - flashStart, 0.250);
    EXPECT_EQ(writeFrames(), (std::vector<uint16_t>{0xBF00, 0xBE08}));
    EXPECT_EQ(monitor.frames().size(), 2u);
  });
  EXPECT_EQ(peek(ENDURANCE), endurance + 2);
}

TEST_F(RegisterWindow, ClosingHidesSoTheDumpAndSelectionSurvive) {
  QStringList first;
  QDialog* window = nullptr;
  open("mnuRegisters", [&](QDialog& d) {
    window = &d;
    first = dump(d);
    choose(d, STATUS);
    in<QLineEdit>(d, "txtDataWrite")->setText("12");
    click(d, "cmdClose");
    EXPECT_FALSE(d.isVisible());
  });
  poke(SMPL_PRD, 0x0A);
  monitor.clear();
  open("mnuRegisters", [&](QDialog& d) {
    EXPECT_EQ(&d, window) << "the same window, still loaded";
    EXPECT_TRUE(monitor.frames().empty()) << "reopening reads nothing";
    EXPECT_EQ(dump(d), first);
    EXPECT_EQ(in<QComboBox>(d, "cmboRegister")->currentText(), "STATUS");
    EXPECT_EQ(text(d, "txtDataWrite"), "12");
    EXPECT_FALSE(enabled(d, "cmdWrite"));
    click(d, "cmdReadUserReg");
    EXPECT_EQ(dump(d)[SMPL_PRD + 2], "SMPL_PRD      \t0x0036\t0x000A\t   10.0");
  });
  // The close box hides it as well.
  open("mnuRegisters", [](QDialog& d) { d.close(); });
  EXPECT_EQ(form->findChildren<frmManualReg*>().size(), 1);
  EXPECT_EQ(presenter.presented.size(), 3u);
}

TEST_F(RegisterWindow, PrintsAnImageOfTheWindowOrOffersAPdfFile) {
  const QString folder = QString::fromStdString(world.folder());
  const QString saved = folder + "/saved.pdf";
  const std::string savedMessage =
      "The image of the window was saved as " + saved.toStdString() + ".";
  struct Case {
    bool printer;
    QString offer;  // file the user picks when offered; empty declines
    bool existing;  // a file of that name is there before
    bool replace;   // the answer when asked to replace it
    PrintOutcome outcome;
    int offers;
    std::string message;
  };
  const std::vector<Case> cases = {
      {true, "", false, false, PrintOutcome::Printed, 0, ""},
      {false, saved, false, false, PrintOutcome::SavedAsPdf, 1, savedMessage},
      {false, saved, true, false, PrintOutcome::Declined, 1, ""},
      {false, saved, true, true, PrintOutcome::SavedAsPdf, 1, savedMessage},
      {false, "", false, false, PrintOutcome::Declined, 1, ""},
      {false, folder + "/missing/saved.pdf", false, false, PrintOutcome::Failed, 1,
       "The PDF file could not be written."},
  };
  for (const Case& c : cases) {
    QFile::remove(saved);
    if (c.existing) {
      QFile old(saved);
      ASSERT_TRUE(old.open(QIODevice::WriteOnly));
      old.write("old");
    }
    PdfPrintService printer(folder);
    printer.printerSetUp = c.printer;
    printer.offer = c.offer;
    printer.replace = c.replace;
    frmManualReg window(ctx(), printer, form.get());
    window.Form_Load({0, 0});
    window.show();
    world.messages.shown.clear();
    EXPECT_EQ(PrintWindowImage(window, printer, ctx()), c.outcome);
    EXPECT_EQ(printer.offers, c.offers);
    EXPECT_EQ(printer.replaceQuestions, c.existing ? QStringList{saved} : QStringList{});
    EXPECT_EQ(world.messages.texts(),
              c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
    if (c.outcome == PrintOutcome::Printed) {
      ASSERT_EQ(printer.printed.size(), 1u);
      EXPECT_EQ(printer.printed[0].size(), window.grab().size());
      EXPECT_TRUE(isPdf(printer.printerFile()));
    }
    if (c.outcome == PrintOutcome::SavedAsPdf) {
      EXPECT_TRUE(isPdf(c.offer));
    }
    if (c.existing && !c.replace) {
      EXPECT_EQ(QFileInfo(saved).size(), 3) << "the old file stays";
    }
    window.hide();
  }
  // The button goes the same way.
  PdfPrintService printer(folder);
  frmManualReg window(ctx(), printer, form.get());
  window.Form_Load({0, 0});
  window.show();
  in<QPushButton>(window, "cmdPrint")->click();
  EXPECT_EQ(printer.printed.size(), 1u);
}

// Lines of ink: runs of pixel rows with dark pixels between columns `left` and `right`.
int InkBands(const QImage& image, int left, int right, int top, int bottom) {
  int bands = 0;
  bool inBand = false;
  for (int y = top; y < bottom; ++y) {
    bool ink = false;
    for (int x = left; x < right && !ink; ++x) ink = qGray(image.pixel(x, y)) < 110;
    bands += ink && !inBand;
    inBand = ink;
  }
  return bands;
}

// The register dump is taller than the window can show on a small screen: the printed image
// holds every line of it, however the table was scrolled, and a tall image goes on more pages.
TEST_F(RegisterWindow, PrintShowsEveryRowOfTheTableOverAsManyPagesAsItNeeds) {
  PdfPrintService printer(QString::fromStdString(world.folder()));
  frmManualReg window(ctx(), printer, form.get());
  window.Form_Load({0, 0});
  window.show();
  window.resize(window.minimumSizeHint());
  in<QPushButton>(window, "cmdReadUserReg")->click();
  auto* text = in<QPlainTextEdit>(window, "Text1");
  ASSERT_GT(text->verticalScrollBar()->maximum(), 0) << "the table does not fit the window";
  text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum() / 2);
  int lines = 0;
  for (const QString& line : dump(window)) lines += !line.trimmed().isEmpty();

  in<QPushButton>(window, "cmdPrint")->click();
  ASSERT_EQ(printer.printed.size(), 1u);
  const QImage& image = printer.printed[0];
  const QRect at(text->mapTo(&window, QPoint(0, 0)), text->size());
  const int left = at.left() + text->frameWidth() + 1;
  const int right = at.left() + text->viewport()->width() - 1;
  EXPECT_EQ(InkBands(image, left, right, at.top() + text->frameWidth() + 1,
                     image.height() - 1 - (window.height() - at.bottom())),
            lines);
  EXPECT_EQ(text->geometry(), at.translated(-text->parentWidget()->mapTo(&window, QPoint(0, 0))))
      << "the window is left as it was";
  EXPECT_EQ(text->verticalScrollBar()->value(), text->verticalScrollBar()->maximum() / 2);

  // Pages: a window's image on one, a tall one cut at its gaps over several.
  struct Case {
    QSize size;
    bool severalPages;
  };
  for (const Case c : {Case{{1024, 700}, false}, Case{{1024, 5000}, true}}) {
    QImage page(c.size, QImage::Format_RGB32);
    page.fill(Qt::white);
    const QString file = QString::fromStdString(world.folder()) + "/pages.pdf";
    std::string cause;
    ASSERT_TRUE(WriteImagePdf(page, file, cause)) << cause;
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    const int pages = bytes.count("/Type /Page") - bytes.count("/Type /Pages");
    EXPECT_EQ(pages > 1, c.severalPages) << pages << " pages for " << c.size.height();
  }
}

}  // namespace
}  // namespace vexa::ui::testing
