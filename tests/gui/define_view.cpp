// The determination dialog offscreen, shown from a worker thread as the tools show it: a click on
// the visible scroll bar moves both lines, the accept button gives the value; Esc (the frame's
// cancel) gives none. PNGs go to gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <optional>
#include <thread>

#include "exposure/DefineCurrent.h"
#include "exposure/ui/DefineCurrentView.h"
#include "platform/qt/QtUi.h"
#include "support/Shots.h"

namespace {

using kvt::ui::DefineCurrentView;

class DefineView : public ::testing::Test {
 protected:
  DefineView() {
    previous_ = platform::InstalledUi();
    platform::SetUi(&ui_);
  }
  ~DefineView() override { platform::SetUi(previous_); }

  // Asks for a value from a worker thread while the interface thread runs `act` in the dialog.
  std::optional<int> Determine(kvt::DefineMode mode, const kvt::CurvePoints& curve,
                               std::function<void(DefineCurrentView&)> act) {
    DefineCurrentView view(kvt::DefineCurrentDialog());
    bool done = false;
    std::optional<int> value;
    std::thread worker([&] {
      value = kvt::DetermineValue(mode, curve);
      done = true;
      ui_.Wake();
    });
    QTimer::singleShot(0, &view, [&] {
      EXPECT_TRUE(view.isVisible());
      // The chart is rebuilt for the new curve; the old axes go at the next turn of the loop.
      QTest::qWait(50);
      act(view);
    });
    ui_.WaitServing([&] { return done; });
    worker.join();
    EXPECT_FALSE(view.isVisible());
    return value;
  }

  platform::QtUi ui_;
  platform::Ui* previous_ = nullptr;
};

kvt::CurvePoints Sine(double amplitude) {
  kvt::CurvePoints c;
  for (int k = 0; k < 200; ++k) c.emplace_back(0.1 * k, amplitude * std::sin(k * 0.31));
  return c;
}

TEST_F(DefineView, AClickOnTheBarMovesTheLinesAndAcceptGivesTheValue) {
  const auto value = Determine(kvt::DefineMode::Current, Sine(130), [](DefineCurrentView& v) {
    EXPECT_EQ(v.windowTitle(), QString::fromUtf8("Определение значения анодного тока"));
    auto* up = v.findChild<QScrollBar*>("UpTrack1");
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(up->value(), 100);
    // A click low on the bar's track moves it one page down: the line from 100 to 90.
    QTest::mouseClick(up, Qt::LeftButton, {}, QPoint(up->width() / 2, up->height() - 40));
    QApplication::processEvents();
    auto* result = v.findChild<QLabel*>("Ia_result");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->text(), QString("90"));
    EXPECT_EQ(v.findChild<QScrollBar*>("DownTrack1")->value(), 90);
    EXPECT_TRUE(guitest::SaveShot(&v, "frmDefineCurrent"));
    auto* accept = v.findChild<QPushButton*>("Button1");
    ASSERT_NE(accept, nullptr);
    EXPECT_EQ(accept->text(), QString::fromUtf8("Принять установленные значения"));
    QTest::mouseClick(accept, Qt::LeftButton);
  });
  EXPECT_EQ(value, 90);
}

// The lines taken with the mouse on the chart: the upper one dragged up takes the lower one
// along; the lower one dragged alone; a press away from both moves nothing.
TEST_F(DefineView, LinesDraggedWithTheMouse) {
  const auto value = Determine(kvt::DefineMode::Current, Sine(130), [](DefineCurrentView& v) {
    QChartView* chart = v.Chart();
    ASSERT_NE(chart, nullptr);
    QWidget* area = chart->viewport();
    auto at = [&](double y) {
      QChart* c = chart->chart();
      return chart->mapFromScene(c->mapToScene(c->mapToPosition(QPointF(5, y))));
    };
    auto drag = [&](double from, double to) {
      QTest::mousePress(area, Qt::LeftButton, {}, at(from));
      QTest::mouseMove(area, at((from + to) / 2));
      QTest::mouseMove(area, at(to));
      QTest::mouseRelease(area, Qt::LeftButton, {}, at(to));
      QApplication::processEvents();
    };
    auto* up = v.findChild<QScrollBar*>("UpTrack1");
    auto* down = v.findChild<QScrollBar*>("DownTrack1");
    drag(100, 130);
    EXPECT_NEAR(200 - up->value(), 130, 2);
    EXPECT_EQ(down->value(), 200 - up->value());
    const int upper = 200 - up->value();
    drag(-upper, -120);
    EXPECT_NEAR(down->value(), 120, 2);
    EXPECT_EQ(200 - up->value(), upper);
    const int lower = down->value();
    drag(40, 60);  // no line there
    EXPECT_EQ(200 - up->value(), upper);
    EXPECT_EQ(down->value(), lower);
    EXPECT_EQ(v.findChild<QLabel*>("Ia_result")->text().toInt(), int((upper + lower) * 0.5 + 0.5));
    QTest::mouseClick(v.findChild<QPushButton*>("Button1"), Qt::LeftButton);
  });
  ASSERT_TRUE(value.has_value());
  EXPECT_NEAR(*value, 125, 3);
}

TEST_F(DefineView, EscapeLikeTheFrameGivesNoValue) {
  const auto value = Determine(kvt::DefineMode::Voltage, Sine(80), [](DefineCurrentView& v) {
    EXPECT_EQ(v.windowTitle(), QString::fromUtf8("Определение значения анодного напряжения"));
    EXPECT_TRUE(guitest::SaveShot(&v, "frmDefineCurrent-voltage"));
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : static_cast<QWidget*>(&v), Qt::Key_Escape);
  });
  EXPECT_EQ(value, std::nullopt);
}

}  // namespace
