#pragma once
// Every window a GUI test opens is saved as a PNG under the build folder (gui-shots/), so anyone
// can look at what the engineer would see.

#include <QApplication>
#include <QDir>
#include <QString>
#include <QWidget>
#include <string>

namespace guitest {

inline QString ShotsDir() {
  QString dir = QString::fromUtf8(KVT_BINARY_DIR) + "/gui-shots";
  QDir().mkpath(dir);
  return dir;
}

// Saves the window's picture as gui-shots/<name>.png; true when written.
inline bool SaveShot(QWidget* window, const std::string& name) {
  QApplication::processEvents();
  return window->grab().save(ShotsDir() + "/" + QString::fromStdString(name) + ".png");
}

}  // namespace guitest
