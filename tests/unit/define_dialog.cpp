// The determination dialog: where its two lines go for the scroll bars in both modes, the value
// they give, and the calling interface from a worker thread (a value, a cancel by the frame, no
// view at all).

#include <gtest/gtest.h>

#include <thread>

#include "exposure/DefineCurrent.h"
#include "support/ScopedUi.h"

namespace {

using kvt::DefineMode;
using kvt::TfrmDefineCurrent;

double LineY(const platform::ChartSeries& s) {
  EXPECT_EQ(s.Count(), 2u);
  return s.Count() ? s.Points()[0].y : 0;
}

TEST(DefineDialog, CurrentModeLinesAndValue) {
  TfrmDefineCurrent d;
  d.SetCurve({{0, 10}, {0.1, -20}, {2.7, 5}});
  d.PrepareForCurrent();
  d.FormShow();
  EXPECT_EQ(d.Form.Caption(), "Определение значения анодного тока");
  EXPECT_EQ(d.GroupBox8.Caption(), " Анодный ток ");
  EXPECT_EQ(d.Label2.Caption(), "мА");
  EXPECT_EQ(d.chart_Ia_calibr.LeftAxis().minimum, -200);
  // Untouched bars: the lines at +100 and -100, value 100; they run to the curve's end + 1.
  EXPECT_EQ(LineY(d.Series4()), 100);
  EXPECT_EQ(LineY(d.Series5()), -100);
  EXPECT_EQ(d.Series4().Points()[1].x, 3);
  EXPECT_EQ(d.Ia_result.Caption(), "100");

  // Moving only the lower bar: 97 above (bar at 103), 100 below gives round(98.5) = 99.
  d.UpTrack1.SetPosition(103);
  d.DownTrack1.SetPosition(100);
  EXPECT_EQ(d.UpVal1.Caption(), "97");
  EXPECT_EQ(d.DownVal1.Caption(), "100");
  EXPECT_EQ(LineY(d.Series5()), -100);
  EXPECT_EQ(d.Result(), 99);
  EXPECT_EQ(d.Ia_result.Caption(), "99");

  // Moving the upper bar mirrors the lower line: bar 80 puts them at +120 and -120.
  d.UpTrack1.SetPosition(80);
  EXPECT_EQ(LineY(d.Series4()), 120);
  EXPECT_EQ(LineY(d.Series5()), -120);
  EXPECT_EQ(d.DownTrack1.Position(), 120);
  EXPECT_EQ(d.Ia_result.Caption(), "120");
}

TEST(DefineDialog, VoltageModeAndAnEmptyCurve) {
  TfrmDefineCurrent d;
  d.UpTrack1.SetPosition(10);  // the mode puts the bars back to the middle
  d.SetCurve({});
  d.PrepareForVoltage();
  d.FormShow();
  EXPECT_EQ(d.Form.Caption(), "Определение значения анодного напряжения");
  EXPECT_EQ(d.GroupBox8.Caption(), " Анодное напряжение ");
  EXPECT_EQ(d.Label1.Caption(), "Напряжение:");
  EXPECT_EQ(d.Label2.Caption(), "кВ");
  EXPECT_EQ(d.chart_Ia_calibr.LeftAxis().maximum, 140);
  EXPECT_EQ(d.chart_Ia_calibr.LeftAxis().increment, 20);
  EXPECT_EQ(d.UpTrack1.Max(), 140);
  EXPECT_EQ(d.Result(), 70);
  ASSERT_EQ(d.Series4().Count(), 2u);
  EXPECT_EQ(d.Series4().Points()[0].x, 0);
  EXPECT_EQ(d.Series4().Points()[1].x, 1);
}

class DefineDialogCalls : public ::testing::Test {
 protected:
  ~DefineDialogCalls() override { kvt::DefineCurrentDialog().SetModalRunner(nullptr); }
  testsupport::ScopedUi ui;
};

TEST_F(DefineDialogCalls, AWorkerGetsTheValueOrNothingWhenTheFrameClosesIt) {
  TfrmDefineCurrent& d = kvt::DefineCurrentDialog();
  std::vector<std::size_t> curveSizes;
  bool onInterfaceThread = true;
  bool cancel = false;
  d.SetModalRunner([&](TfrmDefineCurrent& dialog) {
    onInterfaceThread = onInterfaceThread && ui->IsInterfaceThread();
    curveSizes.push_back(dialog.Series3().Count());
    if (cancel) {
      dialog.FormCloseByFrame();
      return;
    }
    dialog.UpTrack1.SetPosition(30);  // voltage mode: +110 and -110
    dialog.DownTrack1.SetPosition(108);
    dialog.Button1.Click();
  });

  std::optional<int> first;
  std::optional<int> second{-1};
  std::thread worker([&] {
    first = kvt::DetermineValue(DefineMode::Voltage, {{0, 1}, {1, -1}, {2, 1}});
    cancel = true;
    second = kvt::DetermineValue(DefineMode::Current, {{0, 1}});
  });
  ASSERT_TRUE(ui->PumpUntil([&] { return curveSizes.size() == 2; }, 10000));
  worker.join();
  EXPECT_TRUE(onInterfaceThread);
  EXPECT_EQ(curveSizes, (std::vector<std::size_t>{3, 1}));
  EXPECT_EQ(first, 109);
  EXPECT_EQ(second, std::nullopt);
  EXPECT_FALSE(d.Showing());

  // Without a view nobody can read the curve: no value either.
  d.SetModalRunner(nullptr);
  EXPECT_EQ(kvt::DetermineValue(DefineMode::Current, {{0, 50}}), std::nullopt);
}

}  // namespace
