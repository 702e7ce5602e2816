// The Qt front end keeps the front ends' contract (offscreen).
#include "support/front_end_contract.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QSlider>
#include <QTabWidget>

#include "station/frontend/qt/qt_front_end.h"
#include "support/offscreen_app.h"

namespace station::testing {
namespace {

TEST(FrontEndContract, Qt) {
  tarn::testing::offscreenApp();
  QWidget window;
  QtFrontEnd fe(&window);
  createWindow(fe, mainWindowDesc());
  window.show();
  FrontEndSubject s;
  s.frontEnd = &fe;
  s.setInputs = [&](FrontEndInputs inputs) { fe.setInputs(std::move(inputs)); };
  s.text = [&](const std::string& n) -> std::string {
    QWidget* w = fe.widget(n);
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title().toStdString();
    return {};
  };
  s.enabled = [&](const std::string& n) { return fe.widget(n) && fe.widget(n)->isEnabled(); };
  s.visible = [&](const std::string& n) { return fe.widget(n) && !fe.widget(n)->isHidden(); };
  s.checked = [&](const std::string& n) {
    auto* b = qobject_cast<QAbstractButton*>(fe.widget(n));
    return b && b->isChecked();
  };
  s.value = [&](const std::string& n) {
    QWidget* w = fe.widget(n);
    if (auto* p = qobject_cast<QProgressBar*>(w)) return p->value();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentIndex();
    if (auto* t = qobject_cast<QSlider*>(w)) return t->value();
    if (auto* t = qobject_cast<QTabWidget*>(w)) return t->currentIndex();
    return -1;
  };
  s.items = [&](const std::string& n) {
    std::vector<std::string> out;
    if (auto* l = qobject_cast<QListWidget*>(fe.widget(n)))
      for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
    return out;
  };
  s.colour = [&](const std::string& n) -> std::string {
    const QColor c = fe.widget(n)->palette().color(QPalette::WindowText);
    if (c == QColor(255, 0, 0)) return "red";
    if (c == QColor(0, 0, 255)) return "blue";
    return c == QApplication::palette().color(QPalette::WindowText) ? "window" : "other";
  };
  s.settle = [](int ms) {
    QElapsedTimer t;
    t.start();
    do QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (t.elapsed() < ms);
  };
  checkFrontEndContract(s);
}

}  // namespace
}  // namespace station::testing
