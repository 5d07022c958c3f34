// The calibration window of types K3 and K4 and its worker against the simulated apparatus
// (instant timing, pauses shortened), the engineer's readings of the shots' currents scripted:
// the parameter set's current, where the sweeps start, the second characteristic, the state file,
// the dialog given up or read outside the table's currents, and convergence on the simulator's
// truth with the currents read off the curves.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>

#include "adjust_fixture.h"
#include "calibration/CalProcedureK3.h"
#include "calibration/Calibration.h"
#include "sim/Profile.h"
#include "sim/Truth.h"
#include "support/ExactPlant.h"

namespace kvt {
namespace {

using Header = std::array<int, 8>;
constexpr Header kHeader40{40, 60, 80, 100, 120, 140, 160, 200};
// The determination dialog reads up to 200 mA: a table that ends below it lets the sweeps end on
// readings the dialog can give.
constexpr Header kHeader180{40, 60, 80, 100, 120, 140, 160, 180};
// A table beyond the dialog's reach, as the simulator's factory tables once were.
constexpr Header kHeader250{50, 75, 100, 125, 150, 175, 200, 250};

class CalK3 : public adjusttest::AdjustFixture {
 protected:
  void TearDown() override {
    w.reset();
    AdjustFixture::TearDown();
  }

  void StartType(const std::string& type, sim::Profile profile = {}) {
    profile.type = type;
    profile_ = profile;
    Start(std::move(profile));
  }
  // The table's header currents, with the codes a new tube of the type needs at them (the
  // factory table of the plant's nominal settings).
  void SetHeader(const Header& header) {
    const sim::Profile nominal = testsupport::ExactPlant(profile_);
    std::vector<std::uint8_t> bytes;
    auto put = [&](int v) {
      bytes.push_back(std::uint8_t(v >> 8));
      bytes.push_back(std::uint8_t(v));
    };
    for (int h : header) put(h);
    for (int kv = 40; kv <= 120; kv += 10)
      for (int h : header) put(int(std::lround(sim::truth::FilamentCode(nominal, kv, h))));
    apparatus->WriteMemory(0x210, bytes);
    apparatus->CommitBank(2);
  }

  TfrmCalibrationK3& Open() {
    CalWindowOptions o;
    o.priority = platform::ThreadPriority::Normal;
    o.timing.pauseScale = 0.001;
    o.timing.pauseStepMs = 5;
    o.timing.shotLimits.readyMs = o.timing.shotLimits.prepareMs = 1500;
    o.timing.shotLimits.pollPauseMs = 1;
    o.stateFile = dir.Path() / "caltablek3.ini";
    w = std::make_unique<TfrmCalibrationK3>(nullptr, o);
    w->FormCreate();
    return *w;
  }
  bool Until(const std::function<bool()>& cond, int ms = 300000) { return ui->PumpUntil(cond, ms); }
  // One press, served until the worker has ended every step it led to.
  void Step(const std::function<void()>& press) {
    ASSERT_TRUE(Until([&] { return !w->Worker()->InStep(); }));
    const int done = w->Worker()->StepsDone();
    press();
    ASSERT_TRUE(Until([&] { return w->Worker()->StepsDone() > done && !w->Worker()->InStep(); }));
  }
  void Shot() {
    Step([&] { w->btnMakeShot.Click(); });
  }
  void Accept() {
    Step([&] { w->btnAcceptInterval.Click(); });
  }
  ShotRow Row(int k) { return w->Tables_.ReadShotRow(k).value(); }
  int Code() { return w->udCurrentNakal.Position(); }
  // The last parameter set sent: kV, mA, time.
  std::array<int, 3> LastParameters() {
    const auto f = Frames(0x05, 0x03);
    if (f.empty() || f.back().size() < 6) return {-1, -1, -1};
    return {f.back()[2], f.back()[3], f.back()[4] << 8 | f.back()[5]};
  }
  sim::Profile profile_;
  std::unique_ptr<TfrmCalibrationK3> w;
};

TEST_F(CalK3, TargetCurrentIsTheMiddleOfTheHeaderAndGoesIntoTheParameterSet) {
  StartType("K3");
  const std::pair<Header, int> cases[] = {{kHeader40, 120},
                                          {{45, 60, 80, 100, 120, 140, 160, 200}, 122}};
  for (const auto& [header, target] : cases) {
    SetHeader(header);
    Open();
    EXPECT_EQ(w->TargetCurrent(), target);
    ScriptDialog({100});
    Accept();
    Shot();
    EXPECT_EQ(LastParameters(), (std::array<int, 3>{40, target, 6}));
    ASSERT_EQ(w->Tables_.LoggedShots(), 1);
    EXPECT_EQ(Row(1).Ia, 100);
    w.reset();
  }
}

TEST_F(CalK3, FirstHeaderCurrentHitExactlyStartsTheUpwardSweep) {
  StartType("K3");
  auto& win = Open();
  // The shipped table's currents can all be read off the curves: no warning.
  EXPECT_EQ(win.SourceCTable.Cell(8, 0), "180");
  EXPECT_EQ(win.lbCurrentMessage.Caption().find("Внимание"), std::string::npos);
  ScriptDialog({40});  // the shipped table's first current
  Accept();
  const int code = Code();
  Shot();
  EXPECT_EQ(Row(1).Code, code);
  EXPECT_EQ(win.State.Stage, 3);
  EXPECT_EQ(win.State.Direction, 1);
  EXPECT_EQ(win.State.FirstInRange, 1);
  EXPECT_EQ(win.State.MiddleShot, 1);
  EXPECT_EQ(Code(), code + 10);
}

TEST_F(CalK3, SecondCharacteristicStartsFromTheMiddleShotAtTheUpperBoundAndSurvivesTheFile) {
  StartType("K3");
  SetHeader(kHeader40);
  auto& win = Open();
  EXPECT_EQ(win.lbCurrentMessage.Caption().find("Внимание"), std::string::npos);
  ScriptDialog({100, 40, 200});
  Accept();
  Shot();  // in the band: down
  EXPECT_EQ(win.State.Direction, 0);
  Shot();  // the first current: up from one step above the first shot
  EXPECT_EQ(win.State.Direction, 1);
  EXPECT_EQ(win.State.MiddleShot, 2);
  EXPECT_EQ(Code(), Row(1).Code + 10);
  Shot();  // the last current: the first characteristic is complete
  // The second characteristic's start followed without a press.
  EXPECT_EQ(win.State.Stage, 2);
  EXPECT_FALSE(win.State.FirstPass);
  EXPECT_TRUE(win.State.SecondPass);
  EXPECT_EQ(win.State.FirstInRange1, 1);
  EXPECT_EQ(win.State.MiddleShot1, 2);
  EXPECT_EQ(win.State.LastShot1, 3);
  EXPECT_EQ(win.State.FirstInRange, 0);
  EXPECT_EQ(Code(), Row(2).Code);
  EXPECT_EQ(win.lbCurrentMessage.Caption(), calmsg::kInitialCodeUpper);
  ScriptDialog({120});
  Shot();
  EXPECT_EQ(LastParameters(), (std::array<int, 3>{120, 120, 6}));
  EXPECT_EQ(win.State.Stage, 3);

  // The state file carries both characteristics; loading it sends the pass's parameters again.
  w.reset();
  apparatus->ClearFrameLog();
  auto& again = Open();
  again.N3Click();
  EXPECT_EQ(again.State.Stage, 3);
  EXPECT_TRUE(again.State.SecondPass);
  EXPECT_EQ(again.State.MiddleShot1, 2);
  EXPECT_EQ(again.State.LastShot1, 3);
  EXPECT_EQ(again.State.FirstInRange, 4);
  EXPECT_EQ(again.State.ShotCount, 4);
  EXPECT_EQ(again.Tables_.LoggedShots(), 4);
  EXPECT_EQ(LastParameters(), (std::array<int, 3>{120, 120, 6}));
}

TEST_F(CalK3, BothCharacteristicsGiveTheTableAndAColumnEqualAtTheBoundsIsKeptAndTold) {
  StartType("K3");
  SetHeader(kHeader40);
  // The 40 mA column holds the same code at 40 and at 120 kV.
  apparatus->WriteMemory(0x210 + 9 * 16, apparatus->ReadMemory(0x210 + 16, 2));
  auto& win = Open();
  ScriptDialog({100, 40, 200, 100, 40, 200});
  Accept();
  for (int k = 0; k < 6; ++k) Shot();
  ASSERT_TRUE(Until([&] { return win.State.Stage == 5; }, 20000)) << win.lbCurrentMessage.Caption();
  EXPECT_NE(win.lbCurrentMessage.Caption().find("Столбцы токов 40 мА оставлены без изменений"),
            std::string::npos)
      << win.lbCurrentMessage.Caption();
  for (int r = 1; r <= 9; ++r)
    EXPECT_EQ(win.NewCTable.Cell(1, r), win.SourceCTable.Cell(1, r)) << r;
  EXPECT_NE(win.NewCTable.Cell(2, 1), win.SourceCTable.Cell(2, 1));
  EXPECT_TRUE(win.btnOK.Enabled());
  EXPECT_FALSE(win.btnMakeShot.Enabled());
  EXPECT_FALSE(win.btnAuto.Enabled());
  // Bounds and calibration table only: no resistance table.
  std::vector<TCalTables::ImageBlock> blocks;
  ASSERT_TRUE(win.Tables_.TablesImageBlocks({40, 120}, true, blocks).ok);
  EXPECT_EQ(blocks.size(), 2u);
}

TEST_F(CalK3, NoReadingLogsNothingAndACurrentOutsideTheHeaderIsQuestioned) {
  StartType("K4");
  SetHeader(kHeader250);
  auto& win = Open();
  EXPECT_EQ(win.udCurrentNakal.Max(), kMaxFilamentCodeK3);
  ScriptDialog({std::nullopt});
  Accept();
  const int code = Code();
  Shot();  // the dialog closed by its frame
  EXPECT_EQ(win.Tables_.LoggedShots(), 0);
  EXPECT_EQ(win.State.ShotCount, 0);
  EXPECT_EQ(win.State.Stage, 2);
  EXPECT_EQ(Code(), code);
  EXPECT_NE(win.lbCurrentMessage.Caption().find("не определен"), std::string::npos);

  // 30 mA is below the table's 50: confirmed, it is used, and below the band the code rises by 50.
  ScriptDialog({30});
  ui->QueueAnswer(platform::Answer::Yes);
  Shot();
  ASSERT_EQ(win.Tables_.LoggedShots(), 1);
  EXPECT_EQ(Row(1).Ia, 30);
  EXPECT_EQ(Code(), code + 50);
  const auto texts = ui->Messages();
  ASSERT_FALSE(texts.empty());
  EXPECT_NE(texts.back().text.find("30 мА лежит вне диапазона"), std::string::npos);

  // Not confirmed: the engineer reads again.
  ScriptDialog({30, 60});
  ui->QueueAnswer(platform::Answer::No);
  Shot();
  ASSERT_EQ(win.Tables_.LoggedShots(), 2);
  EXPECT_EQ(Row(2).Ia, 60);
  EXPECT_EQ(win.State.Stage, 3);
}

// A table whose last current the dialog cannot read: the readings saturate at the dialog's limit,
// or stop growing while the code grows. The sweep then ends, its code never raised on such a
// reading, and "Выполнить" waits while each shot runs.
TEST_F(CalK3, SaturatedReadingEndsTheCharacteristicWithoutRaisingTheCode) {
  StartType("K3");
  SetHeader(kHeader250);
  auto& win = Open();
  EXPECT_EQ(win.udCurrentNakal.Max(), kMaxFilamentCode);  // K3 takes codes up to 1023
  EXPECT_NE(win.lbCurrentMessage.Caption().find("последний ток таблицы 250 мА больше 200 мА"),
            std::string::npos);
  std::deque<int> answers{100, 50, 150, 200,             // first pass: the dialog's limit
                          100, 50, 120, 120, 120, 120};  // second pass: a flat reading
  int shotButtonEnabled = 0;
  DefineCurrentDialog().SetModalRunner([&](TfrmDefineCurrent& d) {
    if (w->btnMakeShot.Enabled()) ++shotButtonEnabled;
    ASSERT_FALSE(answers.empty());
    d.UpTrack1.SetPosition(d.UpTrack1.Max() - answers.front());
    answers.pop_front();
    d.Button1.Click();
  });
  Accept();
  win.btnAuto.Click();
  ASSERT_TRUE(Until([&] { return win.State.Stage == 5 || !win.CalLock.AutoMode(win.State); }));
  ASSERT_EQ(win.State.Stage, 5) << win.lbCurrentMessage.Caption();
  EXPECT_EQ(shotButtonEnabled, 0);
  ASSERT_EQ(win.State.ShotCount, 10);
  // First pass: the shot at 200 mA ends it; the second starts from the middle shot's code.
  EXPECT_EQ(win.State.LastShot1, 4);
  EXPECT_LT(Row(5).Code, Row(4).Code);
  // Second pass: the three shots that read no more than 120 mA are left out.
  EXPECT_EQ(win.State.LastShot, 8);
  EXPECT_EQ(Code(), Row(10).Code);
  const std::string text = win.lbCurrentMessage.Caption();
  EXPECT_NE(text.find("не растет: 3 снимка подряд"), std::string::npos) << text;
  EXPECT_NE(text.find("Код накала не увеличен"), std::string::npos) << text;
  EXPECT_NE(text.find("закончена на токе, который еще можно определить"), std::string::npos);
}

// The search below the first current raises the code only while the reading grows; a code beyond
// the type's range is refused before any exposure.
TEST_F(CalK3, FlatSearchStopsAndACodeBeyondTheTypeIsRefused) {
  StartType("K3");
  SetHeader(kHeader250);
  auto& win = Open();
  ScriptDialog({30, 30, 30, 30});
  ui->SetDefaultAnswer(platform::Answer::Yes);  // 30 mA is below the table: used all the same
  Accept();
  win.edCurrentNakal.SetText("600");
  for (int k = 1; k <= 4; ++k) Shot();
  ASSERT_EQ(win.Tables_.LoggedShots(), 4);
  EXPECT_EQ(Row(4).Code, 750);
  EXPECT_EQ(Code(), Row(4).Code);
  EXPECT_NE(win.lbCurrentMessage.Caption().find("не растет"), std::string::npos);

  const auto shots = Frames(0x05, 0x52).size();
  win.edCurrentNakal.SetText("1100");
  Shot();
  EXPECT_EQ(Frames(0x05, 0x52).size(), shots);
  EXPECT_NE(win.lbCurrentMessage.Caption().find("от 0 до 1023"), std::string::npos)
      << win.lbCurrentMessage.Caption();
}

// "Прервать" is a way out once the range is accepted; closing with shots in the log asks and
// brings the state file up to date.
TEST_F(CalK3, AbortAndCloseAskAndKeepTheLog) {
  StartType("K4");
  auto& win = Open();
  EXPECT_FALSE(win.Button2.Enabled());
  EXPECT_TRUE(win.FormCloseQuery());  // nothing logged: no question
  EXPECT_TRUE(ui->Messages().empty());
  ScriptDialog({100});
  Accept();
  EXPECT_TRUE(win.Button2.Enabled());
  Shot();
  ASSERT_EQ(win.Tables_.LoggedShots(), 1);
  const auto file = dir.Path() / "caltablek3.ini";
  std::filesystem::remove(file);
  ui->QueueAnswer(platform::Answer::No);
  EXPECT_FALSE(win.FormCloseQuery());
  EXPECT_FALSE(std::filesystem::exists(file));
  ui->QueueAnswer(platform::Answer::Yes);
  EXPECT_TRUE(win.FormCloseQuery());
  EXPECT_TRUE(std::filesystem::exists(file));

  int closes = 0;
  win.OnCloseRequest = [&] { ++closes; };
  ui->QueueAnswer(platform::Answer::No);
  win.Button2.Click();
  EXPECT_EQ(closes, 0);
  ui->QueueAnswer(platform::Answer::Yes);
  win.Button2.Click();
  EXPECT_EQ(closes, 1);
  EXPECT_NE(ui->Messages().back().text.find("Прервать процедуру калибровки"), std::string::npos);
}

// With the currents read off the curves as an engineer reads them, one automatic calibration of
// the whole table brings its codes to the simulated tube's truth.
class CalK3Convergence : public CalK3, public ::testing::WithParamInterface<const char*> {};

struct CodeError {
  double mean = 0;
  int worst = 0;
};

TEST_P(CalK3Convergence, CalibratedTableIsThreeTimesCloserToTheTruth) {
  StartType(GetParam());
  // The channel adjustment comes first: the controller regulates the voltage through KUAN.
  apparatus->WriteMemory(0x13, {std::uint8_t(std::lround(sim::truth::Kuan(profile_)))});
  apparatus->CommitBank(0);
  // The shipped tables, as a trainee meets them.
  ReadDialogPeaks();
  auto& win = Open();
  Header header{};
  for (int c = 1; c <= 8; ++c) header[std::size_t(c - 1)] = std::stoi(win.SourceCTable.Cell(c, 0));
  EXPECT_LE(header.back(), TfrmDefineCurrent::kMaxCurrent);
  Accept();
  win.btnAuto.Click();
  ASSERT_TRUE(Until([&] { return win.State.Stage == 5 || !win.CalLock.AutoMode(win.State); }));
  ASSERT_EQ(win.State.Stage, 5) << win.lbCurrentMessage.Caption();
  EXPECT_TRUE(win.btnOK.Enabled());
  EXPECT_FALSE(win.btnMakeShot.Enabled());

  auto error = [&](const platform::StringGrid& grid, int firstRow) {
    CodeError e;
    long sum = 0;
    int cells = 0;
    for (int r = 1; r <= 9; ++r)
      for (int c = 1; c <= 8; ++c) {
        const int kv = 40 + 10 * (r - 1);
        const int code = std::stoi(grid.Cell(c, r + firstRow - 1));
        const int d = std::abs(
            code - int(std::lround(sim::truth::FilamentCode(profile_, kv, header[c - 1]))));
        sum += d;
        e.worst = std::max(e.worst, d);
        ++cells;
      }
    e.mean = double(sum) / cells;
    return e;
  };
  const CodeError factory = error(win.SourceCTable, 1);
  const CodeError calibrated = error(win.NewCTable, 1);
  std::printf(
      "%s: code error against the truth over 72 cells, mean / worst: factory %.2f / %d, "
      "calibrated (%d shots) %.2f / %d\n",
      GetParam(), factory.mean, factory.worst, win.State.ShotCount.load(), calibrated.mean,
      calibrated.worst);
  EXPECT_LE(calibrated.mean, factory.mean / 3);
  EXPECT_LE(calibrated.worst, factory.worst);
}

INSTANTIATE_TEST_SUITE_P(Types, CalK3Convergence, ::testing::Values("K3", "K4"));

}  // namespace
}  // namespace kvt
