// The one QApplication of a Qt test program, on Qt's offscreen platform.
#pragma once

#include <QApplication>

namespace tarn::testing {

inline QApplication& offscreenApp() {
  static int argc = 1;
  static char name[] = "tarn_qt_test";
  static char* argv[] = {name, nullptr};
  static QApplication* a = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *a;
}

}  // namespace tarn::testing
