// The terminal against the simulator: console, memory viewer, image page, closing.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/Manager.h"
#include "app/Progress.h"
#include "integration/term_fixture.h"
#include "platform/Codepage.h"
#include "platform/Files.h"
#include "tools/Terminal.h"

namespace {

using namespace termtest;
using kvt::SystemStatus;
using kvt::TfrmTerminal;

class TermTerminal : public TermFixture {
 protected:
  TermTerminal() {
    host.onOpenTerminal = [this](const std::string& page) { kvt::OpenTerminalWindow(wf, page); };
  }
  ~TermTerminal() override { TfrmTerminal::SetModalRunner(nullptr); }

  // Loads the simulator's image without a terminal showing up.
  void LoadImage() {
    auto keep = host.onOpenTerminal;
    host.onOpenTerminal = nullptr;
    wf.btnReadConfigClick();
    host.onOpenTerminal = keep;
    ASSERT_TRUE(host.image);
    ui->ClearRecords();
  }
  std::unique_ptr<TfrmTerminal> Create() {
    auto t = std::make_unique<TfrmTerminal>(wf);
    t->FormCreate();
    return t;
  }
  // Types value over KUAN's "100" in the image page's text as the engineer does (the key marks
  // the image modified). The text as typed; empty, with the test failed, when KUAN is not there.
  static std::string TypeOverKuan(TfrmTerminal& t, const char* value) {
    std::string text = t.ImageMemo.Text();
    const auto at = text.find("100  ; 0x013 KUAN");
    if (at == std::string::npos) {
      ADD_FAILURE() << "no line of KUAN in the image text";
      return "";
    }
    text.replace(at, 3, value);
    t.ImageMemo.SetText(text);
    t.ImageMemoKeyPress();
    return text;
  }
  std::vector<std::uint8_t> LastFrame() {
    auto frames = apparatus_->LastFrames(1);
    return frames.empty() ? std::vector<std::uint8_t>{} : frames[0].bytes;
  }
};

TEST_F(TermTerminal, ConsoleSendsTheTypedFrameAndEchoesBothWays) {
  auto t = Create();
  t->InputLine.SetText("1 2e");
  t->InputLineEnter();
  EXPECT_EQ(LastFrame(), (std::vector<std::uint8_t>{0x01, 0x2E}));
  ASSERT_EQ(t->fMonitor.Lines().size(), 2u);
  EXPECT_EQ(t->fMonitor.Lines()[0], "01 2E ");
  // The type reply carries the letters "K2" in its third and fourth bytes.
  const std::string reply = t->fMonitor.Lines()[1];
  EXPECT_NE(reply.find("4B 32 "), std::string::npos) << reply;
  EXPECT_EQ(reply.size() % 3, 0u);

  t->InputLine.SetText("01 2E");
  t->InputLineEnter();
  t->InputLine.SetText("01 2f");
  t->InputLineEnter();
  EXPECT_EQ(t->InputLine.Items(), (std::vector<std::string>{"01 2E ", "01 2F "}));
  EXPECT_EQ(t->fMonitor.Lines().size(), 6u);
}

TEST_F(TermTerminal, InvalidLineIsExplainedAndNothingIsSent) {
  auto t = Create();
  apparatus_->ClearFrameLog();
  // A character that is no hexadecimal digit, a byte beyond FF, a length byte that promises more
  // bytes than were typed (the apparatus would wait for them and stay silent).
  const std::pair<const char*, const char*> lines[] = {
      {"zz 1", "«zz»"}, {"01 100", "«100»"}, {"05 23 01", "05"}};
  for (const auto& [line, named] : lines) {
    t->InputLine.SetText(line);
    t->InputLineEnter();
    auto m = Messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back().text.rfind(kvt::TfrmTerminal::kBadLine, 0), 0u) << line;
    EXPECT_NE(m.back().text.find(named), std::string::npos) << m.back().text;
    EXPECT_EQ(m.back().icon, platform::Icon::Error);
  }
  EXPECT_EQ(Messages().size(), 3u);
  EXPECT_TRUE(t->fMonitor.Lines().empty());
  EXPECT_TRUE(t->InputLine.Items().empty());
  EXPECT_TRUE(apparatus_->FrameLog().empty());
}

TEST_F(TermTerminal, SilentLineEchoesAnEmptyReplyAndSaysNoReplyCame) {
  auto t = Create();
  apparatus_->GoSilent();
  t->InputLine.SetText("01 2E");
  t->InputLineEnter();
  EXPECT_EQ(t->fMonitor.Lines(), (std::vector<std::string>{"01 2E ", ""}));
  EXPECT_EQ(t->StatusBar.Caption(), kvt::TfrmTerminal::kNoReply);
  apparatus_->Resume();
  t->InputLineEnter();
  EXPECT_EQ(t->StatusBar.Caption(), "");
}

TEST_F(TermTerminal, EmptyLineWritesNothingButIsEchoedAndRemembered) {
  auto t = Create();
  apparatus_->ClearFrameLog();
  t->InputLine.SetText("  ");
  t->InputLineEnter();
  EXPECT_TRUE(apparatus_->FrameLog().empty());
  EXPECT_EQ(t->fMonitor.Lines(), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(t->InputLine.Items(), std::vector<std::string>{""});
  EXPECT_TRUE(Messages().empty());
}

TEST_F(TermTerminal, QuickButtonsSendTheirFixedLines) {
  auto t = Create();
  t->btnPowOn.Click();
  EXPECT_EQ(LastFrame(), (std::vector<std::uint8_t>{0x01, 0x4D}));
  EXPECT_EQ(t->InputLine.Text(), "01 4d");
  t->btnClBL.Click();
  EXPECT_EQ(LastFrame(), (std::vector<std::uint8_t>{0x01, 0x54}));
  t->btnReset.Click();
  EXPECT_EQ(LastFrame(), (std::vector<std::uint8_t>{0x01, 0x40}));
  EXPECT_EQ(t->InputLine.Items(), (std::vector<std::string>{"01 4D ", "01 54 ", "01 40 "}));
}

TEST_F(TermTerminal, Bank2OfPage0FillsTheGrid) {
  std::vector<std::uint8_t> bank(256);
  for (int i = 0; i < 256; ++i) bank[std::size_t(i)] = std::uint8_t(255 - i);
  apparatus_->WriteMemory(0x200, bank);
  auto t = Create();
  t->udPage.SetPosition(0);
  t->edBank.SetText("2");
  ASSERT_EQ(t->udBank.Position(), 2);
  t->btnReadBank.Click();
  EXPECT_EQ(t->BankData.Cell(0, 1), "00");
  EXPECT_EQ(t->BankData.Cell(0, 16), "F0");
  EXPECT_EQ(t->BankData.Cell(1, 0), "00");
  EXPECT_EQ(t->BankData.Cell(16, 0), "0F");
  EXPECT_EQ(t->BankData.Cell(1, 1), "FF");  // address 0x200
  EXPECT_EQ(t->BankData.Cell(2, 1), "FE");
  EXPECT_EQ(t->BankData.Cell(1, 2), "EF");    // 0x210
  EXPECT_EQ(t->BankData.Cell(16, 16), "00");  // 0x2FF
  EXPECT_TRUE(Messages().empty());
}

TEST_F(TermTerminal, BankFromASilentLineIsNotShownAsData) {
  auto t = Create();
  apparatus_->GoSilent();
  t->btnReadBank.Click();
  EXPECT_EQ(t->BankData.Cell(1, 1), "");
  EXPECT_EQ(Texts(), std::vector<std::string>{kvt::TfrmTerminal::kBankNotRead});
}

TEST_F(TermTerminal, WithoutLinkItOpensOnTheImagePageWithReadAndTranslateDisabled) {
  SystemStatus().LinkUp = false;
  bool ran = false;
  TfrmTerminal::SetModalRunner([&](TfrmTerminal& t) {
    ran = true;
    EXPECT_EQ(t.Pages.ActivePageName(), TfrmTerminal::kMemImage);
    EXPECT_FALSE(t.Pages.TabVisible(t.Pages.IndexOf(TfrmTerminal::kConsole)));
    EXPECT_FALSE(t.Pages.TabVisible(t.Pages.IndexOf(TfrmTerminal::kMemory)));
    EXPECT_FALSE(t.btnRead.Enabled());
    EXPECT_FALSE(t.btnTranslate.Enabled());
    EXPECT_FALSE(t.btnSave.Enabled());
    EXPECT_TRUE(t.btnOpen.Enabled());
    EXPECT_TRUE(t.ImageMemo.ReadOnly());
    EXPECT_EQ(t.FocusedControl(), "ImageMemo");
  });
  kvt::OpenTerminalWindow(wf, "Консоль");
  EXPECT_TRUE(ran);
}

TEST_F(TermTerminal, HoldsTheDeviceLockWhileOpen) {
  std::atomic<bool> otherGot{true};
  {
    auto t = Create();
    std::thread other([&] {
      otherGot = platform::TheLinkLock().TryLock();
      if (otherGot) platform::TheLinkLock().Unlock();
    });
    other.join();
    EXPECT_FALSE(otherGot);
  }
  std::thread after([&] {
    otherGot = platform::TheLinkLock().TryLock();
    if (otherGot) platform::TheLinkLock().Unlock();
  });
  after.join();
  EXPECT_TRUE(otherGot);
}

TEST_F(TermTerminal, ReadFromTheImagePageRefreshesTheOpenTerminal) {
  int runs = 0;
  TfrmTerminal::SetModalRunner([&](TfrmTerminal& t) {
    ++runs;
    EXPECT_TRUE(t.ImageMemo.ReadOnly());
    t.btnRead.Click();  // the read workflow refreshes this terminal instead of opening another
    EXPECT_FALSE(t.ImageMemo.ReadOnly());
    EXPECT_TRUE(t.btnSave.Enabled());
    EXPECT_TRUE(t.btnTranslate.Enabled());
    EXPECT_EQ(t.Pages.ActivePageName(), TfrmTerminal::kMemImage);
    // The text is the image rendered through the template.
    EXPECT_EQ(kvt::DatTextToImage(platform::Utf8ToCp1251(t.ImageMemo.Text() + "\n"), 1280),
              host.image->Image);
  });
  kvt::OpenTerminalWindow(wf, "Консоль");
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(host.image);
}

TEST_F(TermTerminal, EditedValueIsAppliedBeforeTranslating) {
  LoadImage();
  auto t = Create();
  const std::string text = TypeOverKuan(*t, "123");
  ASSERT_FALSE(text.empty());
  EXPECT_TRUE(SystemStatus().ImageModified);
  t->btnTranslate.Click();
  EXPECT_EQ(host.image->Image[0x13], 123);
  EXPECT_EQ(SimMemory(0x14)[0x13], 123);
  EXPECT_EQ(t->FocusedControl(), "ImageMemo");
}

TEST_F(TermTerminal, FormatErrorInTheTextIsReportedAndTheTextKept) {
  LoadImage();
  auto t = Create();
  const auto before = host.image->Image;
  const std::string text = TypeOverKuan(*t, "1o0");
  ASSERT_FALSE(text.empty());
  apparatus_->ClearFrameLog();
  t->btnTranslate.Click();
  t->btnSave.Click();
  EXPECT_EQ(t->ImageMemo.Text(), text);
  EXPECT_EQ(host.image->Image, before);
  EXPECT_TRUE(apparatus_->FrameLog().empty());  // nothing translated
  EXPECT_TRUE(ui->FileDialogs().empty());       // nothing saved
  auto m = Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_NE(m[0].text.find("\"1o0\""), std::string::npos) << m[0].text;
}

TEST_F(TermTerminal, DatSaveWithTheTerminalWritesTheTextAsShown) {
  LoadImage();
  auto t = Create();
  std::string text = t->ImageMemo.Text();
  text += "\n; проверено";
  t->ImageMemo.SetText(text);
  t->ImageMemoKeyPress();
  ChooseFile(dir_ / "edited", 2);
  t->btnSave.Click();
  const std::string saved = testsupport::ReadBytes(dir_ / "edited.dat");
  EXPECT_EQ(platform::Cp1251ToUtf8(saved), text + "\n");
  EXPECT_EQ(host.datFile, (dir_ / "edited.dat").string());
  EXPECT_FALSE(SystemStatus().ImageModified);
}

TEST_F(TermTerminal, ClosingAfterTypingAsksToSave) {
  LoadImage();
  auto t = Create();
  t->ImageMemoKeyPress();
  ui->QueueAnswer(platform::Answer::No);
  EXPECT_TRUE(t->FormCloseQuery());
  t.reset();
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "Сохранить изменения файла настроек?");
  EXPECT_EQ(m[0].icon, platform::Icon::Question);
  EXPECT_EQ(m[0].buttons, platform::Buttons::YesNo);
  EXPECT_TRUE(ui->FileDialogs().empty());
}

TEST_F(TermTerminal, ClosingWithYesSavesTheTypedChangesAsMi) {
  LoadImage();
  auto t = Create();
  const std::string text = TypeOverKuan(*t, "42 ");
  ASSERT_FALSE(text.empty());
  ui->QueueAnswer(platform::Answer::Yes);
  ChooseFile(dir_ / "closing.mi", 1);
  EXPECT_TRUE(t->FormCloseQuery());
  t.reset();
  auto saved = platform::ReadBinaryFile(dir_ / "closing.mi");
  ASSERT_TRUE(saved);
  EXPECT_EQ((*saved)[0x13], 42);
  EXPECT_FALSE(SystemStatus().ImageModified);
  EXPECT_EQ(Texts().size(), 1u);  // asked once
}

TEST_F(TermTerminal, TemplateButtonReplacesTheTemplateAfterTheQuestion) {
  LoadImage();
  auto t = Create();
  std::string text = t->ImageMemo.Text() + "\n; новый шаблон";
  t->ImageMemo.SetText(text);
  ui->QueueAnswer(platform::Answer::Yes);
  t->btnTemplate.Click();
  EXPECT_EQ(Texts(), std::vector<std::string>{"Сохранить текущие настройки как шаблон?"});
  EXPECT_EQ(platform::Cp1251ToUtf8(testsupport::ReadBytes(dir_ / "Memory" / "etalon.pat")),
            text + "\n");
}

TEST_F(TermTerminal, MainWindowButtonsReachTheWorkflowsAndTheTerminal) {
  kvt::TfrmManager manager;
  manager.SetLauncher(kvt::ManagerTool::Terminal, [](kvt::TfrmManager& m, const std::string& page) {
    kvt::OpenTerminalWindow(m.Workflows(), page, &m);
  });
  SystemStatus().LinkUp = true;
  SystemStatus().PagePresent[0] = true;
  std::vector<std::string> pages;
  TfrmTerminal::SetModalRunner([&](TfrmTerminal& t) {
    pages.push_back(t.Pages.ActivePageName());
    EXPECT_TRUE(manager.ToolWindowOpen(kvt::ToolWindow::Terminal));
    EXPECT_EQ(t.FocusedControl(), pages.size() == 1 ? "InputLine" : "ImageMemo");
  });
  manager.btnToolsClick();
  manager.btnReadConfigClick();
  EXPECT_EQ(pages, (std::vector<std::string>{TfrmTerminal::kConsole, TfrmTerminal::kMemImage}));
  ASSERT_TRUE(manager.CurrentImage);
  EXPECT_EQ(manager.CurrentImage->Image, SimMemory(1280));
  EXPECT_FALSE(manager.ToolWindowOpen(kvt::ToolWindow::Terminal));
  EXPECT_EQ(manager.StateMonitor.Caption(), "ОБРАЗ ПРОЧИТАН");

  // The save offered when the main window closes goes through the same workflow.
  SystemStatus().ImageModified = true;
  ui->QueueAnswer(platform::Answer::Yes);
  ChooseFile(dir_ / "at-close.mi", 1);
  manager.FormDestroy();
  EXPECT_TRUE(fs::exists(dir_ / "at-close.mi"));
}

TEST_F(TermTerminal, SaveOfferedByOpenHoldsTheTypedChangesAsMi) {
  LoadImage();
  auto t = Create();
  const std::string text = TypeOverKuan(*t, "77 ");
  ASSERT_FALSE(text.empty());
  ui->QueueAnswer(platform::Answer::Yes);  // load a new one
  ui->QueueAnswer(platform::Answer::Yes);  // save the current one
  ChooseFile(dir_ / "typed.mi", 1);
  CancelFileDialog();
  t->btnOpen.Click();
  auto saved = platform::ReadBinaryFile(dir_ / "typed.mi");
  ASSERT_TRUE(saved);
  EXPECT_EQ((*saved)[0x13], 77);
  EXPECT_EQ(host.image->Image[0x13], 77);
  EXPECT_FALSE(SystemStatus().ImageModified);
}

TEST_F(TermTerminal, SaveOfferedByOpenRefusesATextWithAnErrorAndStops) {
  LoadImage();
  auto t = Create();
  const auto before = host.image->Image;
  const std::string text = TypeOverKuan(*t, "1o0");
  ASSERT_FALSE(text.empty());
  ui->QueueAnswer(platform::Answer::Yes);
  ui->QueueAnswer(platform::Answer::Yes);
  t->btnOpen.Click();
  EXPECT_TRUE(ui->FileDialogs().empty());  // neither the save nor the open dialog
  EXPECT_TRUE(SystemStatus().ImageModified);
  EXPECT_EQ(t->ImageMemo.Text(), text);
  EXPECT_EQ(host.image->Image, before);
  auto m = Texts();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_NE(m[2].find("\"1o0\""), std::string::npos) << m[2];
}

TEST_F(TermTerminal, CloseWhoseSaveFailsKeepsTheWindowOpen) {
  LoadImage();
  auto t = Create();
  t->ImageMemoKeyPress();
  ui->QueueAnswer(platform::Answer::Yes);
  ChooseFile(dir_ / "no-such-folder" / "x.mi", 1);
  EXPECT_FALSE(t->FormCloseQuery());
  EXPECT_TRUE(SystemStatus().ImageModified);
  // Asked again at the next close; No lets it go.
  ui->QueueAnswer(platform::Answer::No);
  EXPECT_TRUE(t->FormCloseQuery());
  t.reset();
  EXPECT_EQ(Texts().size(), 3u);
}

TEST_F(TermTerminal, LinkUsersWaitWhileItIsOpenAndGoOnAfterwards) {
  std::atomic<bool> polled{false};
  std::atomic<std::uint32_t> count{0};
  std::thread poller;
  {
    auto t = Create();
    // What the state monitor does at each poll: take the device lock and ask the state.
    poller = std::thread([&] {
      platform::LinkLock::Guard guard(platform::TheLinkLock());
      kvt::TSystemLink link;
      link.PollState();
      count = link.LastCount();
      polled = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(polled);
    // The terminal's own exchanges go on meanwhile.
    t->InputLine.SetText("01 2E");
    t->InputLineEnter();
    EXPECT_EQ(t->fMonitor.Lines().size(), 2u);
    EXPECT_FALSE(polled);
  }
  poller.join();
  EXPECT_TRUE(polled);
  EXPECT_GT(count, 0u);
}

// Records the captions of the progress windows opened meanwhile.
class ProgressCaptions {
 public:
  ProgressCaptions() {
    kvt::TfrmProgress::SetViewFactory([this](kvt::TfrmProgress& p) {
      captions.push_back(p.Caption());
      return std::unique_ptr<kvt::TfrmProgress::View>();
    });
  }
  ~ProgressCaptions() { kvt::TfrmProgress::SetViewFactory(nullptr); }
  std::vector<std::string> captions;
};

TEST_F(TermTerminal, BankOfAnyPageIsAskedAtItsOwnAddressUnderItsProgressWindow) {
  auto t = Create();
  ProgressCaptions progress;
  t->udPage.SetPosition(3);
  t->udBank.SetPosition(0x12);
  apparatus_->ClearFrameLog();
  t->btnReadBank.Click();
  EXPECT_EQ(progress.captions, std::vector<std::string>{"Чтение банка памяти..."});
  std::vector<std::vector<std::uint8_t>> reads;
  for (const auto& f : apparatus_->FrameLog())
    if (f.bytes.size() == 6 && f.bytes[1] == 0x23) reads.push_back(f.bytes);
  ASSERT_FALSE(reads.empty());
  // Address bytes page, bank, offset: the first chunk starts at 03 12 00 and the chunks cover
  // the bank's 256 bytes.
  EXPECT_EQ(reads[0][3], 0x03);
  EXPECT_EQ(reads[0][4], 0x12);
  EXPECT_EQ(reads[0][5], 0x00);
  unsigned total = 0;
  for (const auto& r : reads) {
    EXPECT_EQ(r[3], 0x03);
    EXPECT_EQ(r[4], 0x12);
    total += r[2] == 0 ? 256u : r[2];
  }
  EXPECT_EQ(total, 256u);
}

TEST_F(TermTerminal, SetUpShowsTheHintAndThenTheImageThroughTheScratchFiles) {
  auto t = Create();
  EXPECT_EQ(
      t->ImageMemo.Lines(),
      (std::vector<std::string>{"", "", "Необходимо загрузить настройки системы из файла или ",
                                "прочитать их из памяти."}));
  EXPECT_TRUE(t->ImageMemoCentered());
  EXPECT_TRUE(t->ImageMemo.ReadOnly());
  EXPECT_FALSE(t->btnSave.Enabled());
  EXPECT_FALSE(t->btnTemplate.Enabled());
  EXPECT_FALSE(t->btnTranslate.Enabled());
  t.reset();

  LoadImage();
  t = Create();
  EXPECT_FALSE(t->ImageMemoCentered());
  EXPECT_FALSE(t->ImageMemo.ReadOnly());
  EXPECT_EQ(t->ImageMemo.Font().size, 8);
  // mi.tmp holds the image, dat.tmp the text shown.
  EXPECT_EQ(platform::ReadBinaryFile(dir_ / "mi.tmp"), std::optional(host.image->Image));
  EXPECT_EQ(platform::Cp1251ToUtf8(testsupport::ReadBytes(dir_ / "dat.tmp")),
            t->ImageMemo.Text() + "\n");
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
