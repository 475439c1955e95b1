#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <gtest/gtest.h>

#include "platform/sim/sim_sensor.h"

namespace vexa::ui::testing {

// What the configuration window tests share: a still simulated sensor, and finding what an open
// dialog shows by object name.
struct DialogProbe {
  // A simulated sensor without motion, noise or drift.
  static sim::SimSensorConfig stillSensor() {
    sim::SimSensorConfig c;
    c.motionScale = 0.0;
    c.noiseScale = 0.0;
    c.temperatureDriftScale = 0.0;
    return c;
  }

  template <typename T>
  static T* in(QDialog& d, const QString& name) {
    T* found = d.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  // What a text field or a label shows.
  static QString text(QDialog& d, const QString& name) {
    if (auto* e = d.findChild<QLineEdit*>(name)) return e->text();
    return in<QLabel>(d, name)->text();
  }
};

}  // namespace vexa::ui::testing
