// The oscillogram window against the simulated apparatus (instant timing): the last shot's curves
// read under the device lock with the progress window and plotted, the effective values, a silent
// apparatus, ".osc" files saved and loaded through the dialogs, broken files, and the window flag.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "app/Progress.h"
#include "exposure/Snapshot.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ExactPlant.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "support/TempDir.h"
#include "support/conn_TestHost.h"
#include "tools/Oscillograms.h"

namespace {

using kvt::OscRecord;
using kvt::TfrmOscillograms;
using kvt::ToolWindow;

// Records the captions of the progress windows and the last position each reached, and whether
// the device lock was held by this thread while each window was open.
struct ProgressSpy {
  struct Seen {
    std::string caption;
    int last = 0;
  };
  std::vector<Seen> seen;

  class View : public kvt::TfrmProgress::View {
   public:
    View(ProgressSpy& spy, std::size_t index) : spy_(spy), index_(index) {}
    void ProgressChanged(int percent) override { spy_.seen[index_].last = percent; }

   private:
    ProgressSpy& spy_;
    std::size_t index_;
  };

  ProgressSpy() {
    kvt::TfrmProgress::SetViewFactory([this](kvt::TfrmProgress& w) {
      seen.push_back({w.Caption(), 0});
      return std::make_unique<View>(*this, seen.size() - 1);
    });
  }
  ~ProgressSpy() { kvt::TfrmProgress::SetViewFactory(nullptr); }
};

class OscWindow : public ::testing::Test {
 protected:
  void Start(sim::Profile profile = testsupport::ExactPlant()) {
    apparatus = &testsupport::AttachSimulator(std::move(profile));
    apparatus->SetState(8);  // on, standby heating
  }
  void TearDown() override { kvt::CloseSharedPort(); }

  // One exposure through the exposure object, as the tools make it.
  kvt::TSnapshot& Shoot(int kv, int ma, int time) {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    shot.emplace(true);
    EXPECT_TRUE(shot->MakeShot(kv, ma, time)) << kvt::ShotFailureText(shot->LastFailure);
    return *shot;
  }

  std::unique_ptr<TfrmOscillograms> Window() {
    return std::make_unique<TfrmOscillograms>(&host, [this] { return dir.Path().string(); });
  }

  static double Peak(const platform::ChartSeries& s) {
    double peak = 0;
    for (const auto& p : s.Points()) peak = std::max(peak, p.y);
    return peak;
  }

  testsupport::ScopedUi ui;
  testsupport::TempDir dir;
  conntest::TestHost host;
  sim::Apparatus* apparatus = nullptr;
  std::optional<kvt::TSnapshot> shot;
};

TEST_F(OscWindow, ReadsAndPlotsTheLastShot) {
  Start();
  kvt::TSnapshot& s = Shoot(90, 100, 10);
  const auto truth = apparatus->LastShot();
  ASSERT_TRUE(truth.has_value());

  ProgressSpy spy;
  auto w = Window();
  EXPECT_TRUE(host.ToolWindowOpen(ToolWindow::Oscillograms));
  EXPECT_EQ(w->Form.Caption(), "Осциллограммы последнего снимка");
  w->FormCreate();

  // The progress window ran to its end with the reading's caption.
  ASSERT_EQ(spy.seen.size(), 1u);
  EXPECT_EQ(spy.seen[0].caption, "Чтение осциллограмм...");
  EXPECT_EQ(spy.seen[0].last, 100);

  const auto& v = w->VoltageSeries().Points();
  const auto& c = w->CurrentSeries().Points();
  ASSERT_GE(v.size(), 10u);
  ASSERT_EQ(v.size(), c.size());
  for (std::size_t k = 0; k < v.size(); ++k) {
    EXPECT_DOUBLE_EQ(v[k].x, 0.1 * double(k));
    EXPECT_DOUBLE_EQ(c[k].x, 0.1 * double(k));
    EXPECT_GE(v[k].y, 0) << "absolute values are plotted";
    EXPECT_GE(c[k].y, 0);
    EXPECT_EQ(v[k].color, platform::colors::Red);
    EXPECT_EQ(c[k].color, platform::colors::Yellow);
  }
  EXPECT_NEAR(Peak(w->VoltageSeries()), truth->kv, 3.0);
  EXPECT_NEAR(Peak(w->CurrentSeries()), truth->ma, truth->ma * 0.05 + 4);

  // The effective values are the generator's own measurement of the shot.
  EXPECT_EQ(w->Label3.Caption(), std::to_string(s.Uv));
  EXPECT_EQ(w->Label4.Caption(), std::to_string(s.Ia));
  EXPECT_NEAR(std::stoi(w->Label3.Caption()), 90, 2);
  EXPECT_TRUE(ui->Messages().empty());

  // The axes as the window fixes them.
  EXPECT_FALSE(w->chartVoltage.LeftAxis().automatic);
  EXPECT_EQ(w->chartVoltage.LeftAxis().maximum, 150);
  EXPECT_EQ(w->chartCurrent.LeftAxis().maximum, 400);

  // The lock is free again: another thread's exchange is not blocked.
  EXPECT_TRUE(platform::TheLinkLock().TryLock());
  platform::TheLinkLock().Unlock();
}

TEST_F(OscWindow, SilentApparatusIsReportedNotPlottedAsZeros) {
  sim::Profile silent;
  silent.silent = true;
  Start(silent);
  auto w = Window();
  w->FormCreate();
  EXPECT_EQ(w->VoltageSeries().Count(), 0u);
  EXPECT_EQ(w->CurrentSeries().Count(), 0u);
  EXPECT_EQ(w->Label3.Caption(), "");
  EXPECT_EQ(w->Label4.Caption(), "");
  const auto messages = ui->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Осциллограммы последнего снимка не прочитаны: система не отвечает.");
  EXPECT_EQ(messages[0].title, "oscillograms");
}

TEST_F(OscWindow, OnlyCompletePairsArePlotted) {
  auto w = Window();
  w->ShowSamples({10, 20, 30, 40, 50});
  ASSERT_EQ(w->VoltageSeries().Count(), 2u);
  ASSERT_EQ(w->CurrentSeries().Count(), 2u);
  EXPECT_EQ(w->VoltageSeries().Points()[1].y, 30);
  EXPECT_EQ(w->CurrentSeries().Points()[1].y, 40);
  EXPECT_DOUBLE_EQ(w->CurrentSeries().Points()[1].x, 0.1);
}

TEST_F(OscWindow, SavedCurvesLoadBackAndSaveToTheSameBytes) {
  Start();
  Shoot(80, 100, 10);
  auto w = Window();
  w->FormCreate();
  const std::vector<OscRecord> shown = w->Records();
  ASSERT_FALSE(shown.empty());

  // The chosen extension is replaced; the dialog opens in the image folder with the filter.
  ui->QueueFileDialog({true, (dir / "shot.txt").string(), 1});
  w->btnSaveClick();
  const auto dialogs = ui->FileDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_TRUE(dialogs[0].save);
  EXPECT_EQ(dialogs[0].initialDir, dir.Path().string());
  EXPECT_EQ(dialogs[0].filter, "Осциллограмма снимка|*.osc");
  EXPECT_FALSE(std::filesystem::exists(dir / "shot.txt"));
  const std::string saved = testsupport::ReadBytes(dir / "shot.osc");
  EXPECT_EQ(saved.size(), shown.size() * 32);

  // A second window loads it: the same points in the window's colours.
  auto other = Window();
  ui->QueueFileDialog({true, (dir / "shot.osc").string(), 1});
  other->btnOpenClick();
  EXPECT_EQ(other->Records(), shown);
  EXPECT_EQ(other->VoltageSeries().Points()[0].color, platform::colors::Red);
  EXPECT_EQ(other->CurrentSeries().Points()[0].color, platform::colors::Yellow);
  ui->QueueFileDialog({true, (dir / "again.osc").string(), 1});
  other->btnSaveClick();
  EXPECT_EQ(testsupport::ReadBytes(dir / "again.osc"), saved);
  EXPECT_TRUE(ui->Messages().empty());

  // Cancelled dialogs change and write nothing.
  ui->QueueFileDialog({false, (dir / "never.osc").string(), 1});
  other->btnSaveClick();
  EXPECT_FALSE(std::filesystem::exists(dir / "never.osc"));
  other->ShowRecords({});
  ui->QueueFileDialog({false, (dir / "shot.osc").string(), 1});
  other->btnOpenClick();
  EXPECT_EQ(other->VoltageSeries().Count(), 0u);
}

TEST_F(OscWindow, BrokenFilesAreReportedAndChangeNothing) {
  auto w = Window();
  const std::vector<OscRecord> before{{0, 50, 0, 100}, {0.1, 60, 0.1, 120}};
  w->ShowRecords(before);

  // A file of 100 bytes: three points, the last four bytes ignored.
  std::vector<OscRecord> three{{0, 1, 0, 2}, {0.1, 3, 0.1, 4}, {0.2, 5, 0.2, 6}};
  auto bytes = kvt::EncodeOsc(three);
  testsupport::WriteBytes(dir / "tail.osc", std::string(bytes.begin(), bytes.end()) +
                                                std::string("\x01\x02\x03\x04", 4));
  ASSERT_TRUE(w->LoadFile((dir / "tail.osc").string()));
  EXPECT_EQ(w->Records(), three);
  w->ShowRecords(before);

  struct Case {
    std::string name;
    std::string content;
    std::string expect;  // part of the message
  };
  std::string nan = std::string(bytes.begin(), bytes.end());
  for (int i = 0; i < 8; ++i) nan[32 + 24 + i] = char(0xFF);  // y of the second current point
  const std::vector<Case> cases{
      {"empty.osc", "", "нет ни одной точки"},
      {"short.osc", std::string(31, 'x'), "Длина файла 31 байт"},
      {"nan.osc", nan, "Точка 2 содержит недопустимое число"},
  };
  for (const Case& c : cases) {
    testsupport::WriteBytes(dir / c.name, c.content);
    ui->ClearRecords();
    EXPECT_FALSE(w->LoadFile((dir / c.name).string())) << c.name;
    const auto m = ui->Messages();
    ASSERT_EQ(m.size(), 1u) << c.name;
    EXPECT_NE(m[0].text.find(c.expect), std::string::npos) << m[0].text;
    EXPECT_EQ(m[0].icon, platform::Icon::Error);
    EXPECT_EQ(w->Records(), before) << c.name;
  }

  // A file that is not there, and one far too large (not read at all).
  ui->ClearRecords();
  EXPECT_FALSE(w->LoadFile((dir / "missing.osc").string()));
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text, "Не удалось открыть файл\n" + (dir / "missing.osc").string());
  std::filesystem::resize_file(dir / "short.osc", kvt::kOscMaxFileSize + 1);
  ui->ClearRecords();
  EXPECT_FALSE(w->LoadFile((dir / "short.osc").string()));
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_NE(ui->Messages()[0].text.find("больше допустимой"), std::string::npos);
  EXPECT_EQ(w->Records(), before);
}

TEST_F(OscWindow, FailedSavesLeaveNoFileAndSayWhy) {
  auto w = Window();
  // Nothing plotted: an empty file would be no oscillogram.
  EXPECT_FALSE(w->SaveFile((dir / "empty.osc").string()));
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.osc"));
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text, "Нет осциллограмм для сохранения.");

  // A folder that does not exist.
  w->ShowRecords({{0, 1, 0, 2}});
  ui->ClearRecords();
  const std::string nowhere = (dir / "no" / "such" / "x.osc").string();
  EXPECT_FALSE(w->SaveFile(nowhere));
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text, "Не удалось записать файл\n" + nowhere);

  // Overwriting keeps nothing of the old file and leaves no temporary file beside it.
  testsupport::WriteBytes(dir / "old.osc", std::string(500, 'z'));
  EXPECT_TRUE(w->SaveFile((dir / "old.osc").string()));
  EXPECT_EQ(std::filesystem::file_size(dir / "old.osc"), 32u);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"old.osc"});
}

TEST_F(OscWindow, FlagStaysWhileAnyWindowIsOpen) {
  EXPECT_FALSE(host.ToolWindowOpen(ToolWindow::Oscillograms));
  auto first = Window();
  auto second = Window();
  EXPECT_EQ(host.OpenToolWindows(ToolWindow::Oscillograms), 2);
  EXPECT_TRUE(host.ToolWindowOpen(ToolWindow::Oscillograms));
  first.reset();
  EXPECT_TRUE(host.ToolWindowOpen(ToolWindow::Oscillograms));
  second.reset();
  EXPECT_FALSE(host.ToolWindowOpen(ToolWindow::Oscillograms));
  EXPECT_EQ(host.OpenToolWindows(ToolWindow::Oscillograms), 0);
}

}  // namespace
