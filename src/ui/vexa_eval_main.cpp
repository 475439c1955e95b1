// The windowed program: start-up message, delay calibration, settings, then the main window.
// `--simulate` puts the simulated sensor behind a simulated parallel port and USB card; any
// argument at all makes the delay calibration start from the smaller count.
// `--vendor HEX` names the USB vendor ID of a card that carries another one than the default.
// `--screenshot FILE` (for the documentation) presses Read once the main window is up, saves an
// image of the window to FILE a few seconds later and closes the program. With `--window NAME`
// (calibration, operation, alarms, registers, usb-debug) the image is of that window instead.
// `--simulate-still` simulates a sensor lying still with its stated noise figures.
// `--view-log FILE...` opens the Log Viewer on log files, without a sensor; with `--screenshot`
// it saves the time plot to FILE and the Allan deviation plot beside it (name-adev.png).

#include <cstdio>
#include <cstring>
#include <string>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>

#include "app/app_context.h"
#include "app/hex_text.h"
#include "app/startup.h"
#include "app/version.h"
#include "platform/platform_set.h"
#include "ui/analysis/frm_log_viewer.h"
#include "ui/analysis/log_plot.h"
#include "ui/main/startup_screens.h"
#include "ui/main/window_screenshots.h"
#include "ui/services/modal_presenter.h"
#include "ui/services/qt_message_service.h"
#include "ui/services/qt_ui_hooks.h"

namespace {

void applyInstrumentLook(QApplication& app) {
  if (QStyle* fusion = QStyleFactory::create("Fusion")) app.setStyle(fusion);
  QPalette pal = app.style()->standardPalette();
  pal.setColor(QPalette::Window, QColor(236, 238, 241));
  pal.setColor(QPalette::Base, QColor(255, 255, 255));
  pal.setColor(QPalette::AlternateBase, QColor(246, 247, 249));
  pal.setColor(QPalette::Button, QColor(228, 231, 235));
  pal.setColor(QPalette::Highlight, QColor(38, 94, 160));
  app.setPalette(pal);
  app.setStyleSheet(
      "QGroupBox { font-weight: bold; border: 1px solid #b4bac3; border-radius: 4px;"
      " margin-top: 1.1em; padding-top: 4px; }"
      "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 4px; color: #1f3550; }"
      "QGroupBox QLabel, QGroupBox QCheckBox, QGroupBox QRadioButton, QGroupBox QPushButton,"
      " QGroupBox QLineEdit { font-weight: normal; }");
}

void scheduleScreenshot(vexa::ui::frmForm1& form, const QString& file) {
  QTimer::singleShot(500, &form, [&form] {
    // The bench rocks slowly: show the gyros at their finest range.
    if (auto* scale = form.findChild<QPushButton*>("cmdScaleGyro"))
      for (int n = 0; n < 3; ++n) scale->click();
    if (auto* read = form.findChild<QPushButton*>("cmdReadData")) read->click();
  });
  QTimer::singleShot(6000, &form, [&form, file] {
    form.grab().save(file);
    form.close();
  });
}

// Opens the magnetometer calibration, starts collecting, saves an image of it mid-run to FILE
// and closes the program.
void scheduleMagCalScreenshot(vexa::ui::frmForm1& form, const QString& file) {
  QTimer::singleShot(500, &form, [&form, file] {
    QTimer::singleShot(300, &form, [&form] {
      if (auto* start = form.findChild<QPushButton*>("cmdCollect")) start->click();
    });
    QTimer::singleShot(25000, &form, [&form, file] {
      if (auto* window = form.findChild<QDialog*>("frmMagCal")) {
        window->grab().save(file);
        window->close();
      }
      QTimer::singleShot(500, &form, [&form] { form.close(); });
    });
    if (auto* open = form.findChild<QAction*>("mnuMagCal")) open->trigger();
  });
}

// The Log Viewer on its own, on the files named after --view-log.
int viewLogs(const QStringList& files, const QString& screenshot) {
  vexa::ui::QtMessageService messages;
  vexa::ui::QtUiHooks ui;
  vexa::PlatformSet world(vexa::PlatformOptions{}, messages, ui);
  vexa::AppContext ctx(world.platform());
  vexa::ui::frmLogViewer viewer(ctx);
  viewer.show();
  if (!viewer.openFiles(files)) return 1;
  if (!screenshot.isEmpty()) {
    QTimer::singleShot(300, &viewer, [&viewer, screenshot] {
      for (int i = 0; i < int(viewer.record().channels.size()) && i < 3; ++i) {
        if (auto* list = viewer.findChild<QListWidget*>("lstChannels"))
          list->item(i)->setCheckState(Qt::Checked);
      }
      viewer.plot().setTimeRange(0.0, 20.0);  // the first seconds, sample by sample
      viewer.grab().save(screenshot);
      if (auto* tabs = viewer.findChild<QTabWidget*>("tabViews")) tabs->setCurrentIndex(1);
      viewer.computeAllan();
      viewer.finishAllanNow();
      QString adev = screenshot;
      adev.replace(QRegularExpression("\\.png$"), "");
      viewer.grab().save(adev + "-adev.png");
      viewer.close();
    });
  }
  return QApplication::exec();
}

constexpr const char* kUsage =
    "Usage: vexa-eval [--simulate | --simulate-still] [--vendor HEX]\n"
    "                 [--screenshot FILE [--window NAME]] [--version]\n"
    "       vexa-eval --view-log FILE... [--screenshot FILE]\n"
    "  --simulate         use the simulated sensor behind a simulated parallel port (any\n"
    "                     address) and a simulated USB SPI card (Ezusb-0)\n"
    "  --simulate-still   the same, the sensor lying still with its stated noise figures\n"
    "  --view-log FILE... open the Log Viewer on log files (no sensor needed)\n"
    "  --vendor HEX       USB vendor ID of the SPI card, when it is not 5645\n"
    "  --screenshot FILE  start reading, save an image of the main window to FILE, and exit\n"
    "  --window NAME      with --screenshot: an image of the window calibration, operation,\n"
    "                     alarms, registers, usb-debug or magcal (mid-run) instead\n"
    "  --version          print the program's version and exit\n"
    "Settings are kept in CommPort.cfg in the working folder.\n";

bool isHexId(const char* text) {
  const size_t n = std::strlen(text);
  if (n == 0 || n > 6) return false;
  const char* digits =
      (n > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ? text + 2 : text;
  if (*digits == '\0' || std::strlen(digits) > 4) return false;
  return std::strspn(digits, "0123456789abcdefABCDEF") == std::strlen(digits);
}

}  // namespace

int main(int argc, char** argv) {
  bool simulate = false;
  bool still = false;
  QStringList logs;
  QString screenshot;
  QString screenshotWindow;
  int vendorId = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("vexa-eval %s\n", vexa::kVersion);
      return 0;
    }
    if (std::strcmp(argv[i], "--simulate") == 0) simulate = true;
    if (std::strcmp(argv[i], "--simulate-still") == 0) simulate = still = true;
    if (std::strcmp(argv[i], "--view-log") == 0)
      while (i + 1 < argc && argv[i + 1][0] != '-') logs << QString::fromLocal8Bit(argv[++i]);
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) screenshot = argv[++i];
    if (std::strcmp(argv[i], "--window") == 0 && i + 1 < argc) screenshotWindow = argv[++i];
    if (std::strcmp(argv[i], "--vendor") == 0) {
      if (i + 1 >= argc || !isHexId(argv[i + 1])) {
        std::fprintf(stderr,
                     "vexa-eval: --vendor needs a USB vendor ID of up to four hex digits\n");
        return 2;
      }
      vendorId = static_cast<uint16_t>(vexa::HexToLong(argv[++i]));
    }
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(vexa::kApplicationTitle);
  applyInstrumentLook(app);
  if (!logs.isEmpty()) return viewLogs(logs, screenshot);

  vexa::ui::QtMessageService messages;
  vexa::ui::QtUiHooks ui;
  vexa::PlatformOptions options;
  options.simulate = simulate;
  options.simulateStill = still;
  const vexa::AppContext* program = nullptr;
  options.cardVendorIdSource = [&program, &options] {
    return program ? program->usb.CardVendorId : options.cardVendorId;
  };
  vexa::PlatformSet world(options, messages, ui);

  vexa::AppContext ctx(world.platform());
  program = &ctx;
  if (vendorId >= 0) ctx.usb.CardVendorId = static_cast<uint16_t>(vendorId);
  ctx.delay.commandLineGiven = argc > 1;

  vexa::ui::QtModalPresenter presenter;
  vexa::ui::StartUpWindows windows(ctx, presenter);
  windows.onUnloaded = [] { QCoreApplication::quit(); };
  vexa::StartUp(ctx, windows);
  vexa::ui::frmForm1* form = windows.mainWindow();
  if (form == nullptr || form->unloaded()) return 0;
  if (!screenshot.isEmpty() && screenshotWindow == "magcal") {
    scheduleMagCalScreenshot(*form, screenshot);
  } else if (!screenshot.isEmpty() && !screenshotWindow.isEmpty()) {
    if (!vexa::ui::ScheduleWindowScreenshot(*form, screenshotWindow, screenshot)) {
      std::fprintf(stderr, "vexa-eval: --window: no window named %s\n",
                   screenshotWindow.toLocal8Bit().constData());
      return 2;
    }
  } else if (!screenshot.isEmpty()) {
    scheduleScreenshot(*form, screenshot);
  }
  return QApplication::exec();
}
