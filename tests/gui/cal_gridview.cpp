// The grid sweep from the calibration window, as a person runs it: after the automatic series the
// shot log's right-click menu offers "Дополнительные снимки по сетке токов"; choosing it takes
// the OK button away until the extra shots are made (automatic mode again) and the tables are
// computed anew.

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/ui/Program.h"
#include "calibration/ui/CalibrationView.h"
#include "link/SystemStatus.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/CalibrationFixture.h"
#include "support/ProgramFixture.h"
#include "support/Pump.h"

namespace {

using kvt::ui::CalibrationView;

using guitest::PumpUntil;

// A right click on the log's rows: its menu opens and the item named `item` is clicked in it.
// Returns whether the item was there and enabled.
bool ChooseFromLogMenu(QTableWidget* log, const char* item) {
  bool chosen = false;
  // The menu runs its own loop: a timer inside it finds the menu, and closes it when the item
  // cannot be chosen.
  QTimer poll;
  int ticks = 0;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
      if (++ticks > 100) poll.stop();
      return;
    }
    poll.stop();
    for (QAction* a : menu->actions())
      if (a->objectName() == item && a->isEnabled()) {
        chosen = true;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        return;
      }
    menu->close();
  });
  poll.start(20);
  const QPoint at(20, 20);
  QContextMenuEvent click(QContextMenuEvent::Mouse, at, log->viewport()->mapToGlobal(at));
  QApplication::sendEvent(log->viewport(), &click);
  QApplication::processEvents();
  return chosen;
}

class CalGridView : public guitest::CalibrationOnSimulatorFixture {};

TEST_F(CalGridView, GridSweepFromTheLogMenuAfterTheSeries) {
  kvt::ui::ProgramWindows windows;
  QPointer<CalibrationView> cal;
  ASSERT_NO_FATAL_FAILURE(OpenShown(windows, cal));
  auto& model = cal->Model();
  auto* log = cal->findChild<QTableWidget*>("ShotsTable");
  auto* autoButton = cal->findChild<QPushButton*>("btnAuto");
  auto* ok = cal->findChild<QPushButton*>("btnOK");

  // Before the tables are computed the item is there but cannot be chosen.
  EXPECT_FALSE(ChooseFromLogMenu(log, "N6"));
  QTest::mouseClick(cal->findChild<QPushButton*>("btnAcceptInterval"), Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return autoButton->isEnabled(); }, 5000));
  QTest::mouseClick(autoButton, Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return ok->isEnabled(); }, 180000));
  ASSERT_TRUE(PumpUntil([&] { return autoButton->text() == QString::fromUtf8("Включить"); }, 5000));
  const int series = model.State.ShotCount;

  ASSERT_TRUE(ChooseFromLogMenu(log, "N6"));
  EXPECT_FALSE(ok->isEnabled());
  // The menu only sets the sweep up: no exposure until the engineer starts it.
  QTest::qWait(300);
  EXPECT_EQ(model.State.ShotCount, series);
  EXPECT_EQ(log->rowCount(), series + 2);
  QTest::mouseClick(autoButton, Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return ok->isEnabled(); }, 180000));
  ASSERT_TRUE(PumpUntil([&] { return autoButton->text() == QString::fromUtf8("Включить"); }, 5000));
  EXPECT_EQ(model.State.Stage, 5);
  EXPECT_EQ(model.State.GridFirst, series + 1);
  EXPECT_GT(model.State.ShotCount, series);
  EXPECT_EQ(log->rowCount(), model.State.ShotCount + 2);
  auto* message = cal->findChild<QLabel*>("lbCurrentMessage");
  EXPECT_TRUE(message->text().contains(QString::fromUtf8("Серия калибровочных снимков завершена")));

  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_TRUE(kvt::SystemStatus().ImageModified);
  // Tables stored in the image: no more extra shots for them.
  EXPECT_FALSE(ChooseFromLogMenu(log, "N6"));
  QTest::mouseClick(ok, Qt::LeftButton);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(cal.isNull());
  kvt::SystemStatus().ImageModified = false;
}

}  // namespace
