#pragma once
// Waiting, clicking and keys as the engineer does: events pumped until what the test waits for
// shows, clicks only on a widget that is on the screen, keys to the widget that has the focus, a
// window's widgets and top-level windows found by their names.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLatin1String>
#include <QTest>
#include <QWidget>
#include <functional>

namespace guitest {

// Processes events until pred holds (true) or ms have passed (false).
inline bool PumpUntil(const std::function<bool()>& pred, int ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

inline void Click(QWidget* w) {
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->isVisible());
  QTest::mouseClick(w, Qt::LeftButton);
}

// Makes the window the active one, where the keys go.
inline void Activate(QWidget* window) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

// The object name of the widget that has the focus ("" when none has).
inline QString Focused() {
  QWidget* w = QApplication::focusWidget();
  return w ? w->objectName() : QString();
}

// Enter into the widget that has the focus.
inline void PressEnter() {
  QWidget* focused = QApplication::focusWidget();
  ASSERT_NE(focused, nullptr);
  QTest::keyClick(focused, Qt::Key_Return);
}

// The window's widget of that object name and type, found as the engineer finds it, by what it
// is; a failure of the test when there is none.
template <class W>
W* Child(const QWidget& window, const char* name) {
  W* w = window.findChild<W*>(QLatin1String(name));
  EXPECT_NE(w, nullptr) << "no widget " << name;
  return w;
}

// The visible top-level window of that object name, or null.
inline QWidget* TopLevel(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QLatin1String(name) && w->isVisible()) return w;
  return nullptr;
}

}  // namespace guitest
