#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <gtest/gtest.h>

namespace vexa::ui::testing {

// Finding what an open dialog shows by object name.
struct DialogProbe {
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
