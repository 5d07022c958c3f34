#pragma once
// Waiting and clicking as the engineer does: events pumped until what the test waits for shows,
// clicks only on a widget that is on the screen, a top-level window found by its name.

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

// The visible top-level window of that object name, or null.
inline QWidget* TopLevel(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QLatin1String(name) && w->isVisible()) return w;
  return nullptr;
}

}  // namespace guitest
