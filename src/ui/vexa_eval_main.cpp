// The windowed program: start-up message, delay calibration, settings, then the main window.
// `--simulate` puts the simulated sensor behind a simulated parallel port and USB card; any
// argument at all makes the delay calibration start from the smaller count.
// `--vendor HEX` names the USB vendor ID of a card that carries another one than the default.
// `--screenshot FILE` (for the documentation) presses Read once the main window is up, saves an
// image of the window to FILE a few seconds later and closes the program; messages go to
// standard error meanwhile, so it always ends. With `--window NAME` (calibration, operation,
// alarms, registers, usb-debug, magcal, units) the image is of that window instead. SIGTERM and
// SIGINT close the main window as the window system's close does.
// `--simulate-still` simulates a sensor lying still with its stated noise figures.
// `--view-log FILE...` opens the Log Viewer on log files, without a sensor; with `--screenshot`
// it saves the time plot to FILE and the Allan deviation and noise density tabs beside it
// (name-adev.png, name-density.png).

#include <cstdio>
#include <iostream>
#include <string>

#include <QApplication>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>

#include "app/app_context.h"
#include "app/startup.h"
#include "app/version.h"
#include "session/accel_simulation.h"
#include "session/platform_set.h"
#include "ui/analysis/frm_log_viewer.h"
#include "ui/analysis/log_plot.h"
#include "ui/datalog/frm_datalog.h"
#include "ui/main/eval_arguments.h"
#include "ui/main/startup_screens.h"
#include "ui/main/window_screenshots.h"
#include "ui/services/modal_presenter.h"
#include "ui/services/qt_message_service.h"
#include "ui/services/qt_ui_hooks.h"
#include "ui/services/termination_signals.h"
#include "ui/services/unattended_services.h"

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

// Presses Read once the main window is up, then, a few seconds later, saves an image of the
// window and closes the program, whatever the load did: without an interface Read does nothing
// and the image shows the idle window. A failed save is reported and ends the program with 1.
void scheduleScreenshot(vexa::ui::frmForm1& form, const QString& file, int& status) {
  QTimer::singleShot(500, &form, [&form] {
    // The bench rocks slowly: show the gyros at their finest range.
    if (auto* scale = form.findChild<QPushButton*>("cmdScaleGyro"))
      for (int n = 0; n < 3; ++n) scale->click();
    if (auto* read = form.findChild<QPushButton*>("cmdReadData")) read->click();
  });
  QTimer::singleShot(6000, &form, [&form, file, &status] {
    if (!form.grab().save(file)) {
      std::fprintf(stderr, "vexa-eval: cannot write the screenshot %s\n", qPrintable(file));
      status = 1;
    }
    form.close();
  });
}

// The Log Viewer on its own, on the files named after --view-log. A screenshot run has nobody to
// press OK: messages go to standard error, and a log that cannot be read or an image that cannot
// be written ends the program with 1.
int viewLogs(const QStringList& files, const QString& screenshot) {
  const bool unattended = !screenshot.isEmpty();
  vexa::ui::QtMessageService boxes;
  vexa::ui::ConsoleMessageService console(std::cerr);
  vexa::MessageService& messages = unattended ? static_cast<vexa::MessageService&>(console) : boxes;
  vexa::ui::QtUiHooks ui;
  vexa::PlatformSet world(vexa::PlatformOptions{}, messages, ui);
  vexa::AppContext ctx(world.platform());
  vexa::ui::frmLogViewer viewer(ctx);
  viewer.show();
  if (!viewer.openFiles(files)) return 1;
  int status = 0;
  if (unattended) {
    QTimer::singleShot(300, &viewer, [&viewer, screenshot, &status] {
      const auto save = [&status](const QPixmap& image, const QString& file) {
        if (image.save(file)) return;
        std::fprintf(stderr, "vexa-eval: cannot write the screenshot %s\n", qPrintable(file));
        status = 1;
      };
      for (int i = 0; i < int(viewer.record().channels.size()) && i < 3; ++i) {
        if (auto* list = viewer.findChild<QListWidget*>("lstChannels"))
          list->item(i)->setCheckState(Qt::Checked);
      }
      viewer.plot().setTimeRange(0.0, 20.0);  // the first seconds, sample by sample
      save(viewer.grab(), screenshot);
      if (auto* tabs = viewer.findChild<QTabWidget*>("tabViews")) tabs->setCurrentIndex(1);
      viewer.computeAllan();
      viewer.finishAllanNow();
      QString adev = screenshot;
      adev.replace(QRegularExpression("\\.png$"), "");
      save(viewer.grab(), adev + "-adev.png");
      if (auto* tabs = viewer.findChild<QTabWidget*>("tabViews")) tabs->setCurrentIndex(2);
      save(viewer.grab(), adev + "-density.png");
      viewer.close();
    });
  }
  const int exitCode = QApplication::exec();
  return status != 0 ? status : exitCode;
}

constexpr const char* kUsage =
    "Usage: vexa-eval [--simulate | --simulate-still] [--simulate-fault unplug-after=N]\n"
    "                 [--vendor HEX] [--db ADDRESS]\n"
    "                 [--screenshot FILE [--window NAME]] [--version]\n"
    "       vexa-eval --view-log FILE... [--screenshot FILE]\n"
    "  --simulate         use the simulated sensor behind a simulated parallel port (any\n"
    "                     address) and a simulated USB SPI card (Ezusb-0)\n"
    "  --simulate-still   the same, the sensor lying still with its stated noise figures\n"
    "  --simulate-poses   the same, the module laid still on its faces and edges in turn\n"
    "  --simulate-fault unplug-after=N\n"
    "                     with --simulate: the simulated USB card, FTDI board and spidev node\n"
    "                     fail after N SPI frames, as an unplugged adapter does\n"
    "  --view-log FILE... open the Log Viewer on log files (no sensor needed)\n"
    "  --vendor HEX       USB vendor ID of the SPI card, when it is not 5645\n"
    "  --db ADDRESS       the results store for this run: postgresql://USER@HOST:PORT/NAME\n"
    "                     or an SQLite file (default: results.database in VexaEval.cfg, else\n"
    "                     $XDG_DATA_HOME/vexa-eval/results.db)\n"
    "  --screenshot FILE  start reading, save an image of the main window to FILE, and exit\n"
    "  --window NAME      with --screenshot: an image of the window calibration, operation,\n"
    "                     alarms, registers, usb-debug, units or magcal (mid-run) instead\n"
    "  --version          print the program's version and exit\n"
    "Settings are kept in CommPort.cfg in the working folder.\n";

}  // namespace

int main(int argc, char** argv) {
  // Read before QApplication takes its own options (-platform, ...) out of argv.
  const vexa::ui::EvalArguments args = vexa::ui::ParseEvalArguments(argc, argv);
  if (args.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.version) {
    std::printf("vexa-eval %s\n", vexa::kVersion);
    return 0;
  }
  if (!args.error.empty()) {
    std::fprintf(stderr, "vexa-eval: %s\n", args.error.c_str());
    return 2;
  }
  const QString screenshot = QString::fromStdString(args.screenshot);
  const QString screenshotWindow = QString::fromStdString(args.window);
  const bool unattended = !screenshot.isEmpty();

  QApplication app(argc, argv);
  QApplication::setApplicationName(vexa::kApplicationTitle);
  applyInstrumentLook(app);
  if (!args.logs.empty()) {
    QStringList logs;
    for (const auto& f : args.logs) logs << QString::fromStdString(f);
    return viewLogs(logs, screenshot);
  }

  // A screenshot run has nobody to press OK: messages go to standard error and the selection
  // windows stay open beside the main window instead of waiting.
  vexa::ui::QtMessageService boxes;
  vexa::ui::ConsoleMessageService console(std::cerr);
  vexa::MessageService& messages = unattended ? static_cast<vexa::MessageService&>(console) : boxes;
  vexa::ui::QtUiHooks ui;
  vexa::PlatformOptions options;
  options.simulate = args.simulate;
  options.simulateStill = args.simulateStill;
  vexa::SessionOptions simulation;
  simulation.simulatePoses = args.simulatePoses;
  vexa::AddAccelSimulation(simulation, options);
  options.unplugAfterFrames = args.unplugAfterFrames;
  options.simulatedBusTime = true;
  const vexa::AppContext* program = nullptr;
  options.cardVendorIdSource = [&program, &options] {
    return program ? program->usb.CardVendorId : options.cardVendorId;
  };
  vexa::PlatformSet world(options, messages, ui);

  vexa::AppContext ctx(world.platform());
  program = &ctx;
  if (args.vendorId >= 0) ctx.usb.CardVendorId = static_cast<uint16_t>(args.vendorId);
  ctx.delay.commandLineGiven = args.commandLineGiven;
  ctx.resultsDatabase = args.database;

  vexa::ui::QtModalPresenter modal;
  vexa::ui::ModelessPresenter modeless;
  // A screenshot of another window needs that window held open as a user would see it.
  vexa::ui::ModalPresenter& presenter = unattended && screenshotWindow.isEmpty()
                                            ? static_cast<vexa::ui::ModalPresenter&>(modeless)
                                            : modal;
  vexa::ui::StartUpWindows windows(ctx, presenter);
  windows.onUnloaded = [] { QCoreApplication::quit(); };

  // SIGTERM and SIGINT close the main window as its close box would; before it exists they end
  // the start-up, leaving the settings file as it was.
  bool endBeforeMainWindow = false;
  vexa::ui::TerminationSignals terminationSignals;
  QObject::connect(&terminationSignals, &vexa::ui::TerminationSignals::requested, &app,
                   [&windows, &endBeforeMainWindow](int) {
                     // A log run first: under the main window's read loop the main window's
                     // close waits for that loop, which waits for the run.
                     vexa::ui::frmDatalog::CancelRunningLogs();
                     if (vexa::ui::frmForm1* form = windows.mainWindow())
                       form->close();
                     else
                       endBeforeMainWindow = true;
                   });

  vexa::StartUp(ctx, windows);
  vexa::ui::frmForm1* form = windows.mainWindow();
  if (form == nullptr || form->unloaded()) return 0;
  if (endBeforeMainWindow) {
    form->close();
    if (form->unloaded()) return 0;
  }
  int status = 0;
  if (unattended && !screenshotWindow.isEmpty()) {
    if (!vexa::ui::ScheduleWindowScreenshot(*form, screenshotWindow, screenshot)) {
      std::fprintf(stderr, "vexa-eval: --window: no window named %s\n",
                   qPrintable(screenshotWindow));
      return 2;
    }
  } else if (unattended) {
    scheduleScreenshot(*form, screenshot, status);
  }
  const int loopStatus = QApplication::exec();
  return status != 0 ? status : loopStatus;
}
