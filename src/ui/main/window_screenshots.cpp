#include "ui/main/window_screenshots.h"

#include <functional>
#include <map>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>

#include "ui/main/frm_form1.h"

namespace vexa::ui {

namespace {

struct Shot {
  const char* dialog;                   // objectName of the window
  std::function<void(frmForm1&)> open;  // opens it (modally)
  std::function<void(QDialog&)> fill;   // plays the user a little before the image is taken
  int settleMs = 500;                   // from the playing to the image
};

template <typename T>
T* child(QDialog& d, const char* name) {
  return d.findChild<T*>(name);
}

void type(QDialog& d, const char* name, const char* text) {
  if (auto* e = child<QLineEdit>(d, name)) e->setText(text);
}

void click(QDialog& d, const char* name) {
  if (auto* b = child<QAbstractButton>(d, name)) b->click();
}

void choose(QDialog& d, const char* name, int index) {
  if (auto* c = child<QComboBox>(d, name)) {
    c->setCurrentIndex(index);
    emit c->activated(index);
  }
}

void trigger(frmForm1& form, const char* action) {
  if (auto* a = form.findChild<QAction*>(action)) a->trigger();
}

const std::map<QString, Shot>& shots() {
  static const std::map<QString, Shot> all = {
      {"magcal",  // in the middle of a simulated run
       {"frmMagCal", [](frmForm1& f) { trigger(f, "mnuMagCal"); },
        [](QDialog& d) { click(d, "cmdCollect"); }, 25000}},
      {"calibration",
       {"fmCalibration", [](frmForm1& f) { trigger(f, "MnuCal"); },
        [](QDialog& d) { click(d, "cmdAutoNull"); }}},  // the offsets of this module's gyros
      {"operation",
       {"frmOperationalControl", [](frmForm1& f) { trigger(f, "mnuSampleRate"); },
        [](QDialog& d) {
          for (const char* name :
               {"op_io_one_output", "op_dat_one_high", "optDRPolarity_High", "optDREnable_On"})
            click(d, name);
          type(d, "txtVolts", "1.25");
          click(d, "cmdWriteAuxDac");
        }}},
      {"alarms",
       {"frmAlarms", [](frmForm1& f) { trigger(f, "MnuAlarms"); },
        [](QDialog& d) {
          choose(d, "cmboAsource1", 2);  // X_Gyro
          type(d, "txtLevel1", "150");
          click(d, "opTrigPol1_Greater");
          choose(d, "cmboAsource2", 11);  // Temperature
          type(d, "txtLevel2", "60");
          click(d, "opTrigPol2_greater");
          click(d, "cmdWiteA1");
          type(d, "txtAvg1", "4");
          click(d, "cmdWriteAlmSmpl1");
        }}},
      {"registers",
       {"frmManualReg", [](frmForm1& f) { trigger(f, "mnuRegisters"); },
        [](QDialog& d) { choose(d, "cmboRegister", 27); }}},  // SMPL_PRD
      {"units",  // the results store as it is: the first unit, the X gyro's random walk if kept
       {"frmUnits", [](frmForm1& f) { trigger(f, "mnuUnits"); },
        [](QDialog& d) {
          if (auto* t = child<QTableWidget>(d, "tblUnits")) t->selectRow(0);
          if (auto* figure = child<QComboBox>(d, "cboFigure"))
            for (const char* name : {"X Gyro/N", "X Gryo/N"})  // by caption, or by column title
              if (int i = figure->findText(name); i >= 0) figure->setCurrentIndex(i);
        }}},
      {"usb-debug",
       {"frmUSBdebug",
        [](frmForm1& f) {
          if (f.later.usbDebug) f.later.usbDebug();
        },
        [](QDialog& d) {
          type(d, "txtNumWords", "3");
          type(d, "txtWriteSpi_1", "5600");
          type(d, "txtWriteSpi_2", "0400");
          type(d, "txtWriteSpi_3", "0");
          click(d, "cmdWriteSpi");
        }}},
  };
  return all;
}

QDialog* visibleDialog(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return qobject_cast<QDialog*>(w);
  return nullptr;
}

}  // namespace

bool ScheduleWindowScreenshot(frmForm1& form, const QString& window, const QString& file) {
  const auto found = shots().find(window);
  if (found == shots().end()) return false;
  const Shot& shot = found->second;
  // The window opens modally from the first timer; the second runs inside its event loop.
  QTimer::singleShot(1500, &form, [&form, &shot, file] {
    QTimer::singleShot(1500, &form, [&form, &shot, file] {
      if (QDialog* d = visibleDialog(shot.dialog)) {
        // Set before playing: a button may run a loop of its own (collecting), inside which the
        // image is then taken and the window closed, which ends that loop.
        QTimer::singleShot(shot.settleMs, &form, [&form, d, file] {
          d->grab().save(file);
          d->close();
          QTimer::singleShot(0, &form, [&form] { form.close(); });
        });
        shot.fill(*d);
      } else {
        form.close();
      }
    });
    shot.open(form);
  });
  return true;
}

}  // namespace vexa::ui
