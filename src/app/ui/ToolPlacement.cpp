// Tool windows open beside the main window instead of at the screen's corner, where they would
// cover the connection window: each is placed once, when first shown, with its right edge on the
// main window's left edge and its top on the main window's top, kept on the screen. Views place
// themselves at the corner right after showing; this runs after them (queued), so it is the place
// the engineer sees.

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "app/ui/ToolRegistry.h"

namespace kvt::ui {

namespace {

// The main window's tool windows (their forms' names).
const QSet<QString>& ToolWindowNames() {
  static const QSet<QString> names{
      "frmARD",           "frmCheckHeat",  "frmAMC",          "frmAMC_K4", "frmCalibration",
      "frmCalibrationK3", "frmCheckShots", "frmOscillograms", "frmPult",   "frmTerminal"};
  return names;
}

constexpr const char* kPlacedProperty = "kvtPlacedBesideMain";

void PlaceBeside(QWidget* tool, const QWidget* main) {
  QScreen* screen = main->screen() ? main->screen() : QApplication::primaryScreen();
  if (!screen) return;
  const QRect s = screen->availableGeometry();
  const QRect m = main->frameGeometry();
  const QRect f = tool->frameGeometry();
  // Left of the main window where it fits, else against the screen's left edge; never above or
  // below the screen.
  const int x = std::max(s.left(), m.left() - f.width());
  const int y = std::clamp(m.top(), s.top(), std::max(s.top(), s.bottom() + 1 - f.height()));
  // move() places the frame's top left corner.
  tool->move(x, y);
}

class ToolPlacer : public QObject {
 public:
  explicit ToolPlacer(QWidget* main) : QObject(main), main_(main) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    if (!w->isWindow() || w == main_ || !ToolWindowNames().contains(w->objectName()) ||
        w->property(kPlacedProperty).toBool())
      return false;
    w->setProperty(kPlacedProperty, true);
    QTimer::singleShot(0, w, [tool = QPointer<QWidget>(w), main = main_] {
      if (tool && main && tool->isVisible()) PlaceBeside(tool, main);
    });
    return false;
  }

 private:
  QPointer<QWidget> main_;
};

}  // namespace

static ToolInstaller installToolPlacement([](MainWindowParts& parts) {
  // Owned by the main window: it stops placing when the main window is gone.
  qApp->installEventFilter(new ToolPlacer(parts.Owner()));
});

}  // namespace kvt::ui
