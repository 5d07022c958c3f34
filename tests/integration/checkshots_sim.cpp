// The check-shots window against the simulator: a K2 series from 60 to 70 kV in steps of 5 with
// its pauses, frames and protocol; a step of 0 repeating; K3 readings taken in the determination
// dialog, a reading cancelled by the frame (no pause after it); closing during a shot; ranges
// from a silent apparatus; the judgement against the tolerances on a sound and a bad plant.

#include <gtest/gtest.h>

#include "adjust_fixture.h"
#include "app/MainHost.h"
#include "procedures/CheckShots.h"
#include "sim/Truth.h"
#include "support/conn_TestHost.h"

namespace {

using kvt::TfrmCheckShots;

class CheckShots : public adjusttest::AdjustFixture {
 protected:
  std::unique_ptr<TfrmCheckShots> Open() {
    auto w = std::make_unique<TfrmCheckShots>(&host, [this] { return dir.Path().string(); });
    w->FormCreate();
    return w;
  }
  void Accept(TfrmCheckShots& w, int umin, int umax, int step, int ms) {
    w.udUmin.SetPosition(umin);
    w.udUmax.SetPosition(umax);
    w.udUstep.SetPosition(step);
    w.udExposure.SetPosition(ms);
    w.btnAcceptClick();
  }
  static std::filesystem::path ProtocolCopy(const std::string& name) {
    const auto dir = std::filesystem::path(KVT_BINARY_DIR) / "protocols";
    std::filesystem::create_directories(dir);
    return dir / name;
  }
  bool WaitIdle(TfrmCheckShots& w) {
    return ui->PumpUntil([&] { return !w.Busy(); }, 20000);
  }

  conntest::TestHost host;
};

TEST_F(CheckShots, K2SeriesWithPausesFramesAndProtocol) {
  Start();
  auto w = Open();
  EXPECT_EQ(w->SystemType(), "K2");
  EXPECT_TRUE(host.ToolWindowOpen(kvt::ToolWindow::CheckShots));
  EXPECT_EQ(w->ShotsTable.Cell(4, 0), "       dUa");
  EXPECT_FALSE(w->udIa.Enabled());
  EXPECT_FALSE(w->btnMakeShot.Enabled());
  // The ranges come from the calibration table's header.
  const auto words = apparatus->ReadMemory(0x200, 4);
  EXPECT_EQ(w->udUmin.Min(), words[0] * 256 + words[1]);
  EXPECT_EQ(w->udUmax.Position(), words[2] * 256 + words[3]);

  int pauses = 0;
  bool shotEnabled = false;
  w->btnMakeShot.AddListener([&] {
    // A pause holds the shot button back while the series goes on; its end disables both.
    if (shotEnabled && !w->btnMakeShot.Enabled() && w->btnAuto.Enabled()) ++pauses;
    shotEnabled = w->btnMakeShot.Enabled();
  });
  Accept(*w, 60, 70, 5, 65);
  EXPECT_EQ(w->Exposure(), 6);  // 65 ms go out as 6 hundredths
  EXPECT_FALSE(w->udUmin.Enabled());
  EXPECT_EQ(w->FocusedControl(), "btnMakeShot");
  apparatus->ClearFrameLog();

  w->btnAutoClick();
  EXPECT_EQ(w->btnAuto.Caption(), "Выключить");
  ASSERT_TRUE(ui->PumpUntil([&] { return !w->AutoOn() && !w->Busy(); }, 20000));
  const auto params = Frames(0x05, 0x03);
  ASSERT_EQ(params.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k)
    EXPECT_EQ(params[k], (std::vector<std::uint8_t>{5, 3, std::uint8_t(60 + 5 * k), 70, 0, 6}));
  EXPECT_EQ(pauses, 2);  // after 60 and 65, not after 70
  EXPECT_EQ(w->ShotsDone(), 3);
  EXPECT_EQ(w->ShotsTable.RowCount(), 5);  // header, three rows, one empty
  for (int n = 1; n <= 3; ++n) {
    const auto& r = w->Rows()[std::size_t(n - 1)];
    EXPECT_EQ(w->ShotsTable.Cell(0, n), std::to_string(n));
    EXPECT_EQ(r[0], 55 + 5 * n);
    EXPECT_NEAR(r[1], r[0], 6);
    EXPECT_GT(r[2], 40);
    EXPECT_EQ(r[3], std::abs(r[0] - r[1]));
    EXPECT_EQ(w->ShotsTable.Cell(2, n), std::to_string(r[1]));
  }
  EXPECT_EQ(w->lbCurrentMessage.Caption().rfind("\nВыполнение проверочных снимков закончено.", 0),
            0u);
  EXPECT_FALSE(w->btnAuto.Enabled());
  EXPECT_EQ(w->btnAuto.Caption(), "Включить");
  EXPECT_TRUE(w->ProtocolUnsaved());

  // The protocol through "Сохранить": windows-1251, CR LF, the rows as integers.
  w->Now = [] {
    std::tm t{};
    t.tm_mday = 8;
    t.tm_mon = 11;
    t.tm_year = 126;
    t.tm_hour = 9;
    t.tm_min = 5;
    return t;
  };
  const auto path = dir.Path() / "protocol.txt";
  ui->QueueFileDialog({true, path.string(), 1});
  w->btnSaveProtocolClick();
  EXPECT_EQ(ui->FileDialogs().back().defaultExt, "txt");
  EXPECT_EQ(ui->FileDialogs().back().initialDir, dir.Path().string());
  const std::string bytes = testsupport::ReadBytes(path);
  const auto& r = w->Rows()[0];
  const std::string first = "\t    " + std::to_string(r[0]) + "\t\t    " + std::to_string(r[1]) +
                            "\t\t " + std::to_string(r[2]) + "\t   " + std::to_string(r[3]) +
                            "\r\n";
  EXPECT_EQ(bytes.substr(0, 47),
            "\xc4\xe0\xf2\xe0: 8.12.2026\r\n\xc2\xf0\xe5\xec\xff: 9:5\r\n"
            "\xca\xee\xec\xec\xe5\xed\xf2\xe0\xf0\xe8\xe9:\r\n\r\n\r\n");
  EXPECT_NE(bytes.find("\t(\xf3\xf1\xf2.,\xea\xc2.)\t(\xe8\xe7\xec.,\xea\xc2.)\t(\xec\xc0)\t  "
                       "(\xea\xc2.)\r\n\r\n" +
                       first),
            std::string::npos);
  EXPECT_FALSE(w->ProtocolUnsaved());
  // A copy beside the build's pictures, for anyone to look at.
  EXPECT_TRUE(w->SaveProtocol(ProtocolCopy("check-shots-K2.txt")));
  ui->ClearRecords();
  w.reset();  // saved: nothing asked
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_FALSE(host.ToolWindowOpen(kvt::ToolWindow::CheckShots));
}

TEST_F(CheckShots, StepZeroRepeatsUntilSwitchedOffAndUnsavedCloseAsks) {
  Start();
  auto w = Open();
  Accept(*w, 80, 90, 0, 100);
  w->btnAutoClick();
  ASSERT_TRUE(ui->PumpUntil([&] { return w->ShotsDone() >= 3; }, 20000));
  w->btnAutoClick();
  EXPECT_EQ(w->btnAuto.Caption(), "Включить");
  ASSERT_TRUE(WaitIdle(*w));
  for (const auto& r : w->Rows()) EXPECT_EQ(r[0], 80);
  EXPECT_EQ(w->Ucur(), 80);
  EXPECT_TRUE(w->btnMakeShot.Enabled());

  // A failed shot: told, the series stays where it was, the shot ended in the safe state.
  const int done = w->ShotsDone();
  apparatus->RaiseAlarm(0x21);
  apparatus->ClearFrameLog();
  w->btnMakeShotClick();
  ASSERT_TRUE(WaitIdle(*w));
  EXPECT_EQ(w->ShotsDone(), done);
  EXPECT_EQ(Frames(0x01, 0x54).size(), 1u);
  EXPECT_TRUE(Frames(0x01, 0x4B).empty());
  ASSERT_FALSE(ui->Messages().empty());
  EXPECT_EQ(ui->Messages().back().text, "Снимок не выполнен.");
  EXPECT_EQ(ui->Messages().back().title, "chshots");

  // Closing with unsaved shots asks; "No" saves nothing.
  ui->ClearRecords();
  ui->QueueAnswer(platform::Answer::No);
  w.reset();
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text,
            "Протокол выполнения проверочных снимков не сохранен. Сохранить?");
  EXPECT_TRUE(ui->FileDialogs().empty());
}

TEST_F(CheckShots, K3ReadingsFromTheDialogAndACancelLeavesTheShotOut) {
  sim::Profile profile;
  profile.type = "K3";
  Start(profile);
  auto w = Open();
  EXPECT_EQ(w->ShotsTable.Cell(4, 0), "       dIa");
  EXPECT_TRUE(w->udIa.Enabled());
  w->udIa.SetPosition(100);
  Accept(*w, 70, 80, 10, 100);
  // First shot: 69 kV and 97 mA read; second: the current dialog closed by its frame.
  ScriptDialog({69, 97, 81, std::nullopt});
  w->btnMakeShotClick();
  ASSERT_TRUE(WaitIdle(*w));
  ASSERT_EQ(readings.size(), 2u);
  EXPECT_EQ(readings[0].mode, kvt::DefineMode::Voltage);
  EXPECT_EQ(readings[1].mode, kvt::DefineMode::Current);
  // The curves go in signed: both half-waves are there to be read.
  double lo = 0, hi = 0;
  for (const auto& [x, y] : readings[0].curve) {
    lo = std::min(lo, y);
    hi = std::max(hi, y);
  }
  EXPECT_LT(lo, -30);
  EXPECT_GT(hi, 30);
  EXPECT_EQ(Frames(0x05, 0x03).back(), (std::vector<std::uint8_t>{5, 3, 70, 100, 0, 10}));
  ASSERT_EQ(w->ShotsDone(), 1);
  EXPECT_EQ(w->Rows()[0], (kvt::ProtocolRow{70, 69, 97, 3}));

  // The cancelled reading ends the series and no pause follows it.
  int disabled = 0;
  w->btnMakeShot.AddListener([&] { disabled += w->btnMakeShot.Enabled() ? 0 : 1; });
  w->btnAutoClick();
  ASSERT_TRUE(ui->PumpUntil([&] { return !w->AutoOn() && !w->Busy(); }, 20000));
  EXPECT_EQ(disabled, 0);
  EXPECT_TRUE(w->btnMakeShot.Enabled());
  EXPECT_EQ(readings.size(), 4u);
  EXPECT_EQ(w->ShotsDone(), 1);  // the cancelled reading made no row
  EXPECT_EQ(w->Ucur(), 80);      // and the voltage stays to be repeated
  EXPECT_EQ(w->ShotsTable.Cell(1, 2), "");
  EXPECT_NE(w->lbCurrentMessage.Caption().find("не занесен в протокол"), std::string::npos);
}

TEST_F(CheckShots, K3SeriesReadAtTheCurvesPeaks) {
  sim::Profile profile;
  profile.type = "K3";
  Start(profile);
  auto w = Open();
  w->udIa.SetPosition(100);
  Accept(*w, 60, 80, 10, 100);
  ReadDialogPeaks();
  w->btnAutoClick();
  ASSERT_TRUE(ui->PumpUntil([&] { return !w->AutoOn() && !w->Busy(); }, 20000));
  ASSERT_EQ(w->ShotsDone(), 3);
  // The curve's peaks are the shot's voltage and current, as the generator regulated them.
  for (const auto& r : w->Rows()) {
    EXPECT_NEAR(r[1], r[0], 0.1 * r[0]) << r[0];
    EXPECT_NEAR(r[2], 100, 15) << r[0];
    EXPECT_EQ(r[3], std::abs(100 - r[2]));
  }
  EXPECT_TRUE(w->SaveProtocol(ProtocolCopy("check-shots-K3.txt")));

  // The printable protocol: the current shots were made at, and the deviation named as current.
  const platform::PrintDocument doc = w->ProtocolDocument();
  ASSERT_EQ(doc.Tables().size(), 1u);
  const platform::DocTable& table = *doc.Tables()[0];
  EXPECT_EQ(table.header[4], "dIa, мА");
  ASSERT_EQ(table.rows.size(), 3u);
  ASSERT_EQ(table.rows[2].size(), 9u);
  EXPECT_EQ(std::vector<std::string>(table.rows[2].begin(), table.rows[2].begin() + 5),
            (std::vector<std::string>{
                "3", std::to_string(w->Rows()[2][0]), std::to_string(w->Rows()[2][1]),
                std::to_string(w->Rows()[2][2]), std::to_string(w->Rows()[2][3])}));
  const auto& params = std::get<platform::DocText>(doc.blocks[1]).text;
  EXPECT_NE(params.find("60 … 80 кВ, шаг 10 кВ"), std::string::npos) << params;
  EXPECT_NE(params.find("Анодный ток: 100 мА"), std::string::npos) << params;
}

TEST_F(CheckShots, ClosingDuringAShotWaitsForItAndServesItsDialogs) {
  sim::Profile profile;
  profile.type = "K4";
  Start(profile);
  auto w = Open();
  Accept(*w, 60, 60, 5, 50);
  ScriptDialog({60, 120});
  apparatus->ClearFrameLog();
  w->btnMakeShotClick();
  // Once the shot's parameters are out, the window is closed: the shot completes, its two
  // readings are taken while the close waits, and the unsaved protocol is asked about.
  for (int i = 0; i < 2000 && Frames(0x05, 0x03).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_FALSE(Frames(0x05, 0x03).empty());
  ui->QueueAnswer(platform::Answer::No);
  w->FormDestroy();
  EXPECT_EQ(readings.size(), 2u);
  EXPECT_EQ(w->ShotsDone(), 1);
  ASSERT_FALSE(ui->Messages().empty());
  EXPECT_EQ(ui->Messages().back().buttons, platform::Buttons::YesNo);
}

TEST_F(CheckShots, SilentApparatusGivesTheDesignRangesAndSaysSo) {
  Start();
  apparatus->GoSilent();
  auto w = Open();
  EXPECT_EQ(w->udUmin.Min(), 0);
  EXPECT_EQ(w->udUmax.Max(), 100);
  EXPECT_EQ(w->udUmax.Position(), 100);
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].title, "chshots");
  // No type either: a shot is refused before anything is sent.
  apparatus->Resume();
  Accept(*w, 50, 60, 5, 60);
  apparatus->ClearFrameLog();
  w->btnMakeShotClick();
  ASSERT_TRUE(WaitIdle(*w));
  EXPECT_TRUE(Frames(0x05, 0x03).empty());
  EXPECT_EQ(ui->Messages().back().text, "Тип системы не определен: снимок не выполнен.");
}

// A K2 series at 70..100 kV in steps of 10: the shipped plant once its voltage channel is adjusted
// is within tolerance; with a regulation error of ±6 kV the voltage is out, named, marked red.
class CheckShotsVerdict : public CheckShots {
 protected:
  std::unique_ptr<TfrmCheckShots> Series(sim::Profile profile) {
    Start(profile);
    const auto kuan = std::uint8_t(sim::truth::Kuan(profile) + 0.5);
    apparatus->WriteMemory(0x13, {kuan});
    auto w = Open();
    Accept(*w, 70, 100, 10, 100);
    w->btnAutoClick();
    EXPECT_TRUE(ui->PumpUntil([&] { return !w->AutoOn() && !w->Busy(); }, 20000));
    return w;
  }
};

TEST_F(CheckShotsVerdict, ShippedPlantAfterTheChannelsAreAdjustedIsWithinTolerance) {
  auto w = Series({});
  ASSERT_EQ(w->ShotsDone(), 4);
  EXPECT_EQ(w->lbVerdict.Caption(), "В допуске");
  EXPECT_EQ(w->lbVerdict.Font().color, platform::colors::Green);
  EXPECT_EQ(w->ShotsTable.Cell(TfrmCheckShots::kColDevUa, 0), "dUa, %");
  for (int n = 1; n <= 4; ++n) {
    const kvt::ShotValues& v = w->Values()[std::size_t(n - 1)];
    // The time comes from the curve: 100 ms set, 100 ms recorded.
    ASSERT_TRUE(v.ms);
    EXPECT_NEAR(*v.ms, 100.0, 1.0);
    EXPECT_EQ(w->ShotsTable.Cell(TfrmCheckShots::kColTime, n), "100.0");
    for (int c : {TfrmCheckShots::kColDevUa, TfrmCheckShots::kColDevIa, TfrmCheckShots::kColDevT})
      EXPECT_EQ(w->CellMark(c, n), TfrmCheckShots::Mark::In) << c << " " << n;
  }
  EXPECT_EQ(w->CellMark(TfrmCheckShots::kColDevUa, 5), TfrmCheckShots::Mark::None);
  EXPECT_NE(w->lbVerdictUa.Caption().find("в допуске"), std::string::npos);

  // The printed protocol: the conclusion first, the tolerances, the deviation columns.
  const platform::PrintDocument doc = w->ProtocolDocument();
  EXPECT_EQ(std::get<platform::DocHeading>(doc.blocks.front()).text, "Заключение: В допуске");
  const auto& params = std::get<platform::DocText>(doc.blocks[1]).text;
  EXPECT_NE(params.find("Допуски: Ua ±5 %, Ia ±10 %, t ±(10 % + 1 мс)"), std::string::npos)
      << params;
  ASSERT_EQ(doc.Tables().size(), 1u);
  EXPECT_EQ(doc.Tables()[0]->header.size(), 9u);
  EXPECT_EQ(doc.Tables()[0]->rows[0][7], "100.0");
}

TEST_F(CheckShotsVerdict, RegulationErrorPutsTheVoltageOutOfTolerance) {
  sim::Profile profile;
  profile.plant.regulationKv = 6;
  auto w = Series(profile);
  ASSERT_EQ(w->ShotsDone(), 4);
  EXPECT_EQ(w->lbVerdict.Caption().rfind("Вне допуска: Ua", 0), 0u) << w->lbVerdict.Caption();
  EXPECT_EQ(w->lbVerdict.Font().color, platform::colors::Red);
  EXPECT_NE(w->lbVerdictUa.Caption().find("вне допуска"), std::string::npos);
  int red = 0;
  for (int n = 1; n <= 4; ++n)
    if (w->CellMark(TfrmCheckShots::kColDevUa, n) == TfrmCheckShots::Mark::Out) {
      ++red;
      const auto& r = w->Rows()[std::size_t(n - 1)];
      EXPECT_GT(std::abs(r[1] - r[0]) * 100, 5 * r[0]) << n;
    }
  EXPECT_GT(red, 0);
  const platform::PrintDocument doc = w->ProtocolDocument();
  EXPECT_EQ(std::get<platform::DocHeading>(doc.blocks.front())
                .text.rfind("Заключение: Вне допуска: Ua", 0),
            0u);
}

}  // namespace
