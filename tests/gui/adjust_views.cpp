// The measuring-channel and check-shot windows offscreen, opened by the main window on a
// connected K2 simulator and worked with keys and clicks as an engineer works them: a mains
// calibration by a typed reading, a control exposure, a check-shot series with its protocol
// question at close. PNGs go to gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QChartView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QXYSeries>
#include <cmath>

#include "app/Manager.h"
#include "app/ui/ManagerView.h"
#include "app/ui/Program.h"
#include "procedures/ui/AmcView.h"
#include "procedures/ui/CheckShotsView.h"
#include "sim/Apparatus.h"
#include "support/PdfProtocol.h"
#include "support/ProgramFixture.h"
#include "support/Shots.h"

namespace {

using guitest::Activate;
using guitest::PressEnter;
using kvt::ManagerButton;
using kvt::ToolWindow;
using kvt::ui::AmcView;
using kvt::ui::CheckShotsView;

class AdjustViews : public guitest::ProgramOnSimulatorFixture {
 protected:
  // Types text into the focused widget after selecting what it holds, as a person does.
  static void TypeInto(QWidget* field, const QString& text) {
    QTest::mouseClick(field, Qt::LeftButton);
    field->setFocus();
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    QTest::keyClick(focused, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focused, text);
  }
  // Connected in standby, the measuring channels' window opened from the main window, active,
  // and two refresh passes made.
  static void OpenChannels(kvt::ui::ProgramWindows& windows, QPointer<AmcView>& view) {
    ASSERT_NO_FATAL_FAILURE(ConnectInStandby(windows));
    windows.Manager().btnAdjustMeasuresChannelsClick();
    ASSERT_EQ(AmcView::OpenViews().size(), 1);
    view = AmcView::OpenViews()[0];
    EXPECT_TRUE(windows.Manager().ToolWindowOpen(ToolWindow::MeasureChannels));
    ASSERT_NO_FATAL_FAILURE(Activate(view));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->Model().Passes() >= 2; }, 20000));
  }
};

TEST_F(AdjustViews, MeasuringChannelsByTypedReadingAndAControlExposure) {
  kvt::ui::ProgramWindows windows;
  QPointer<AmcView> view;
  ASSERT_NO_FATAL_FAILURE(OpenChannels(windows, view));
  kvt::TfrmManager& m = windows.Manager();
  EXPECT_EQ(view->windowTitle(), QString::fromUtf8("Настройка измерительных каналов"));
  kvt::TfrmAMC& model = view->Model();
  auto* measured = view->findChild<QLineEdit*>("edUdMeasure");
  ASSERT_NE(measured, nullptr);
  EXPECT_FALSE(measured->text().isEmpty());
  const int kmes = sim::CurrentApparatus()->ReadMemory(0x15, 1)[0];

  // The voltmeter says 10 % more than the reading: typed, then the button next to the field.
  const int reading = measured->text().toInt();
  TypeInto(view->findChild<QSpinBox*>("udUdControl"), QString::number(reading * 11 / 10));
  QTest::mouseClick(view->findChild<QPushButton*>("btnUdCalibrate"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return model.MainsCalibrations() == 1; }, 20000));
  EXPECT_NEAR(sim::CurrentApparatus()->ReadMemory(0x15, 1)[0], kmes * 1.1, 2);

  QTest::mouseClick(view->findChild<QPushButton*>("btnUdCalibrateOK"), Qt::LeftButton);
  QTest::mouseClick(view->findChild<QPushButton*>("btnMakeSnapshot"), Qt::LeftButton);
  auto* chart = view->findChild<QChartView*>("Chart1");
  ASSERT_NE(chart, nullptr);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const auto s = chart->chart()->series();
        return !s.isEmpty() && qobject_cast<QXYSeries*>(s.first())->count() > 10;
      },
      5000));
  EXPECT_FALSE(view->findChild<QLineEdit*>("edUaMeasure")->text().isEmpty());
  EXPECT_TRUE(guitest::SaveShot(view, "frmAMC"));

  QTest::mouseClick(view->findChild<QPushButton*>("btnUaCalibrateOK"), Qt::LeftButton);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(view.isNull());
  EXPECT_FALSE(m.ToolWindowOpen(ToolWindow::MeasureChannels));
}

// The shipped plant's mains (216 V, a channel reading 3 % low): one Enter with the true value in
// "Контрольное" settles the reading within a volt, and a second one keeps it there.
TEST_F(AdjustViews, MainsChannelSettlesOnTheTrueControlValueWithOneEnter) {
  kvt::ui::ProgramWindows windows;
  QPointer<AmcView> view;
  ASSERT_NO_FATAL_FAILURE(OpenChannels(windows, view));
  kvt::TfrmAMC& model = view->Model();
  // The anode reading belongs to a control exposure this window has not made yet.
  EXPECT_TRUE(view->findChild<QLineEdit*>("edUaMeasure")->text().isEmpty());
  // The time axis names its unit.
  auto* chart = view->findChild<QChartView*>("Chart1");
  ASSERT_NE(chart, nullptr);
  const auto axes = chart->chart()->axes(Qt::Horizontal);
  ASSERT_FALSE(axes.isEmpty());
  EXPECT_TRUE(axes.first()->titleText().contains(QString::fromUtf8("мс")))
      << axes.first()->titleText().toStdString();

  auto* measured = view->findChild<QLineEdit*>("edUdMeasure");
  const double mains = sim::CurrentApparatus()->PlantNow().mainsVolts[0];
  for (int press = 1; press <= 2; ++press) {
    TypeInto(view->findChild<QSpinBox*>("udUdControl"), QString::number(std::lround(mains)));
    PressEnter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.MainsCalibrations() == press; }, 20000));
    // The shown reading is a mean over several passes: let them come.
    const int passes = model.Passes() + 10;
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.Passes() >= passes; }, 20000));
    EXPECT_LE(std::abs(measured->text().toInt() - mains), 1.0)
        << "press " << press << ": " << measured->text().toStdString() << ", KMES "
        << int(sim::CurrentApparatus()->ReadMemory(0x15, 1)[0]);
  }
  EXPECT_TRUE(view->findChild<QPushButton*>("btnUdCalibrate")->isEnabled());
  EXPECT_TRUE(guitest::SaveShot(view, "frmAMC_mains"));
  view->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(AdjustViews, CheckShotSeriesAndTheProtocolQuestion) {
  kvt::ui::ProgramWindows windows;
  ConnectInStandby(windows);
  kvt::TfrmManager& m = windows.Manager();
  m.btnDoCheckShotsClick();
  ASSERT_EQ(CheckShotsView::OpenViews().size(), 1);
  CheckShotsView* view = CheckShotsView::OpenViews()[0];
  ASSERT_NO_FATAL_FAILURE(Activate(view));
  EXPECT_TRUE(m.ToolWindowOpen(ToolWindow::CheckShots));
  kvt::TfrmCheckShots& model = view->Model();
  EXPECT_FALSE(view->findChild<QSpinBox*>("udIa")->isEnabled());

  TypeInto(view->findChild<QSpinBox*>("udUmin"), "60");
  TypeInto(view->findChild<QSpinBox*>("udUmax"), "70");
  TypeInto(view->findChild<QSpinBox*>("udUstep"), "5");
  PressEnter();
  ASSERT_EQ(QApplication::focusWidget(), view->findChild<QPushButton*>("btnAccept"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(model.Umin(), 60);
  EXPECT_EQ(model.Umax(), 70);
  EXPECT_FALSE(view->findChild<QSpinBox*>("udUmin")->isEnabled());

  auto* automatic = view->findChild<QPushButton*>("btnAuto");
  QTest::mouseClick(automatic, Qt::LeftButton);
  EXPECT_EQ(automatic->text(), QString::fromUtf8("Выключить"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !model.AutoOn() && !model.Busy(); }, 30000));
  EXPECT_EQ(model.ShotsDone(), 3);
  auto* table = view->findChild<QTableWidget*>("ShotsTable");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->item(3, 1)->text(), QString("70"));
  EXPECT_EQ(table->item(0, 4)->text(), QString("       dUa"));
  // Each deviation painted as the model judges it; the overall verdict under the table.
  const QImage cells = table->viewport()->grab().toImage();
  for (int col : {kvt::TfrmCheckShots::kColDevUa, kvt::TfrmCheckShots::kColDevIa}) {
    const QRect r = table->visualRect(table->model()->index(2, col));
    const bool in = model.CellMark(col, 2) == kvt::TfrmCheckShots::Mark::In;
    EXPECT_EQ(cells.pixelColor(r.left() + 2, r.top() + 2),
              in ? QColor(0xC8, 0xF0, 0xC8) : QColor(0xFF, 0xC8, 0xC8))
        << col;
  }
  auto* verdict = view->findChild<QLabel*>("lbVerdict");
  ASSERT_NE(verdict, nullptr);
  EXPECT_TRUE(verdict->isVisible());
  EXPECT_EQ(verdict->text().toStdString(), model.Verdict().Summary());
  EXPECT_TRUE(guitest::SaveShot(view, "frmCheckShots"));

  // The protocol as PDF: the engineer's name asked, the file chosen, a PDF written with the rows.
  auto* pdf = view->findChild<QPushButton*>("btnSavePdf");
  ASSERT_NE(pdf, nullptr);
  EXPECT_EQ(pdf->text(), QString::fromUtf8("Сохранить протокол в PDF"));
  const auto doc = guitest::SaveProtocolByButton(ui_, pdf, dir_ / "checkshots", "Петров П.П.",
                                                 "protocol-checkshots");
  ASSERT_TRUE(doc.has_value());
  EXPECT_EQ(guitest::FileStart(dir_ / "checkshots.pdf", 5), "%PDF-");
  EXPECT_GT(std::filesystem::file_size(dir_ / "checkshots.pdf"), 2000u);
  std::filesystem::copy_file(dir_ / "checkshots.pdf",
                             std::filesystem::path(KVT_BINARY_DIR) / "gui-shots/check-shots.pdf",
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(doc->Stamp("Инженер"), "Петров П.П.");
  EXPECT_EQ(doc->Stamp("Версия ПО аппарата"), "2.3");
  ASSERT_EQ(doc->Tables().size(), 1u);
  EXPECT_EQ(doc->Tables()[0]->rows.size(), 3u);

  // Closing with an unsaved protocol asks (answered "No" here).
  ui_.QueueNonInteractiveAnswer(platform::Answer::No);
  view->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(CheckShotsView::OpenViews().isEmpty());
  EXPECT_FALSE(m.ToolWindowOpen(ToolWindow::CheckShots));
  const auto shown = ui_.ShownMessages();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back().text, "Протокол выполнения проверочных снимков не сохранен. Сохранить?");
}

}  // namespace
