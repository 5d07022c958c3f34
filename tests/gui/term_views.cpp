// The terminal and the options window offscreen: they open, show their controls, a few clicks and
// keys reach the models, and a PNG of every page is saved under gui-shots/.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "gui/support/Pump.h"
#include "gui/support/Shots.h"
#include "gui/support/ViewOnSimulator.h"
#include "image/ui/OptionsView.h"
#include "integration/term_fixture.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ScriptedUi.h"
#include "sim/Apparatus.h"
#include "tools/ui/TerminalView.h"

namespace {

namespace fs = std::filesystem;
using guitest::Child;
using kvt::SystemStatus;
using kvt::TfrmTerminal;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The factory apparatus, its memory kept in no file.
sim::Profile WithoutMemoryFile() {
  sim::Profile profile;
  profile.timing = sim::Timing::Instant;
  profile.memoryFile.clear();
  return profile;
}

class TermViews : public guitest::ViewOnSimulatorFixture {
 protected:
  TermViews() : ViewOnSimulatorFixture(WithoutMemoryFile()) {
    fs::copy_file(fs::path(KVT_DATA_DIR) / "vesmar.ini", dir_ / "vesmar.ini");
    fs::create_directories(dir_ / "Memory");
    fs::copy_file(fs::path(KVT_DATA_DIR) / "Memory" / "etalon.pat", dir_ / "Memory" / "etalon.pat");
    SystemStatus().Clear();
    SystemStatus().ImageModified = false;
    SystemStatus().LinkUp = true;
    SystemStatus().PagePresent[0] = true;
    host_.dir = dir_;
    host_.imageDir = dir_.string();
  }
  ~TermViews() override {
    SystemStatus().Clear();
    SystemStatus().ImageModified = false;
  }

  // Shows the terminal as the program does (FormShow once the window is up) and waits until it is
  // the active window, where the keys go.
  static void ShowActive(TfrmTerminal& model, kvt::ui::TerminalView& view) {
    view.show();
    model.FormShow();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  }

  termtest::TestHost host_;
  kvt::TConfigWorkflows wf_{host_};
};

TEST_F(TermViews, TerminalShowsItsThreePages) {
  wf_.btnReadConfigClick();
  ASSERT_TRUE(host_.image);
  TfrmTerminal model(wf_);
  model.FormCreate();
  kvt::ui::TerminalView view(model);
  view.show();
  model.FormShow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  EXPECT_EQ(view.windowTitle(), QString::fromUtf8("Терминал"));
  EXPECT_EQ(view.size(), QSize(539, 404));
  QTabWidget* pages = Child<QTabWidget>(view, "Pages");
  ASSERT_EQ(pages->count(), 3);
  EXPECT_EQ(pages->tabText(0), QString::fromUtf8("Консоль"));
  EXPECT_EQ(pages->tabText(2), QString::fromUtf8("Текущие настройки"));

  // Console: typing a line and Enter sends it and shows both directions.
  pages->setCurrentIndex(0);
  QLineEdit* line = Child<QComboBox>(view, "InputLine")->lineEdit();
  QTest::keyClicks(line, "1 2e");
  QTest::keyClick(line, Qt::Key_Return);
  ASSERT_EQ(model.fMonitor.Lines().size(), 2u);
  EXPECT_EQ(model.fMonitor.Lines()[0], "01 2E ");
  EXPECT_EQ(Child<QComboBox>(view, "InputLine")->count(), 1);
  auto* powOn = view.findChild<QPushButton*>("btnPowOn");
  ASSERT_NE(powOn, nullptr);
  QTest::mouseClick(powOn, Qt::LeftButton);
  EXPECT_EQ(model.fMonitor.Lines().size(), 4u);
  EXPECT_TRUE(guitest::SaveShot(&view, "term_console"));

  // Memory viewer: bank 2 of page 0.
  pages->setCurrentIndex(1);
  auto* udBank = view.findChild<QSpinBox*>("udBank");
  ASSERT_NE(udBank, nullptr);
  udBank->setValue(2);
  EXPECT_EQ(model.udBank.Position(), 2);
  QTest::mouseClick(view.findChild<QPushButton*>("btnReadBank"), Qt::LeftButton);
  QTableWidget* grid = Child<QTableWidget>(view, "BankData");
  EXPECT_EQ(grid->rowCount(), 17);
  EXPECT_EQ(grid->item(0, 1)->text(), "00");
  EXPECT_EQ(grid->item(16, 0)->text(), "F0");
  char expected[3];
  std::snprintf(expected, sizeof expected, "%02X", host_.image->Image[0x200]);
  EXPECT_EQ(grid->item(1, 1)->text(), QString(expected));
  EXPECT_TRUE(guitest::SaveShot(&view, "term_memory"));

  // Image page: the image as text, and a key typed marks the image modified.
  pages->setCurrentIndex(2);
  QPlainTextEdit* memo = Child<QPlainTextEdit>(view, "ImageMemo");
  EXPECT_FALSE(memo->isReadOnly());
  EXPECT_TRUE(memo->toPlainText().contains("KUAN"));
  EXPECT_FALSE(SystemStatus().ImageModified);
  EXPECT_TRUE(guitest::SaveShot(&view, "term_image"));
  memo->moveCursor(QTextCursor::End);
  QTest::keyClicks(memo, " ");
  EXPECT_TRUE(SystemStatus().ImageModified);

  // Closing asks about the changes; No closes without saving.
  ui_.QueueAnswer(platform::Answer::No);
  view.reject();
  EXPECT_FALSE(view.isVisible());
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].text, "Сохранить изменения файла настроек?");
}

TEST_F(TermViews, TerminalWithoutLinkShowsOnlyTheImagePage) {
  SystemStatus().LinkUp = false;
  TfrmTerminal model(wf_);
  model.FormCreate();
  kvt::ui::TerminalView view(model);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  EXPECT_FALSE(Child<QTabWidget>(view, "Pages")->isTabVisible(0));
  EXPECT_FALSE(Child<QTabWidget>(view, "Pages")->isTabVisible(1));
  EXPECT_EQ(Child<QTabWidget>(view, "Pages")->currentIndex(), 2);
  EXPECT_FALSE(view.findChild<QPushButton*>("btnRead")->isEnabled());
  EXPECT_TRUE(view.findChild<QPushButton*>("btnOpen")->isEnabled());
  EXPECT_TRUE(Child<QPlainTextEdit>(view, "ImageMemo")->isReadOnly());
  EXPECT_TRUE(guitest::SaveShot(&view, "term_nolink"));
  view.reject();
}

TEST_F(TermViews, TextPastedWithTheMouseMarksTheImageModified) {
  wf_.btnReadConfigClick();
  ASSERT_TRUE(host_.image);
  TfrmTerminal model(wf_);
  model.FormCreate();
  kvt::ui::TerminalView view(model);
  view.show();
  model.FormShow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  QPlainTextEdit* memo = Child<QPlainTextEdit>(view, "ImageMemo");
  // Showing the text anew (as the workflows do) is no edit.
  model.Setup();
  EXPECT_FALSE(SystemStatus().ImageModified);
  // What the context menu's "Paste" and a drop do: an edit without a key.
  memo->moveCursor(QTextCursor::End);
  memo->insertPlainText("\n; pasted");
  EXPECT_TRUE(SystemStatus().ImageModified);
  EXPECT_TRUE(model.ImageMemo.Text().find("; pasted") != std::string::npos);
  ui_.QueueAnswer(platform::Answer::No);
  view.reject();
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].text, "Сохранить изменения файла настроек?");
}

TEST_F(TermViews, OptionsShowTheDefaultsAndCancelKeepsTheFile) {
  kvt::ui::SelectDirView selectDir;
  kvt::ui::OptionsView options(selectDir.Model());
  kvt::ui::InstallOptionsViews(options, selectDir);
  const std::string before = ReadAll(dir_ / "vesmar.ini");
  options.Model().FormShow();
  options.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
  EXPECT_EQ(options.size(), QSize(520, 300));  // two pages: the settings and the ports
  auto* path = options.findChild<QLineEdit*>("edMiPath");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->text().toStdString(), (dir_ / "Memory" / "BIN").string());
  auto* seconds = options.findChild<QSpinBox*>("udSSTime");
  EXPECT_EQ(seconds->maximum(), 60);
  EXPECT_EQ(seconds->minimum(), 1);
  EXPECT_TRUE(guitest::SaveShot(&options, "term_options"));

  selectDir.Model().SetDirectory(dir_.string());
  selectDir.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&selectDir));
  EXPECT_EQ(selectDir.windowTitle(), QString::fromUtf8("Выбор директории"));
  EXPECT_TRUE(guitest::SaveShot(&selectDir, "term_selectdir"));
  selectDir.hide();

  QTest::keyClicks(path, "/changed");
  seconds->setValue(30);
  QTest::mouseClick(options.findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);
  EXPECT_FALSE(options.isVisible());
  EXPECT_EQ(ReadAll(dir_ / "vesmar.ini"), before);
}

}  // namespace

namespace {

// Keys go where a person's keys go: to the widget that has the focus.
void Type(const char* text) {
  QTest::keyClicks(QApplication::focusWidget(), text);
}
void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QTest::keyClick(QApplication::focusWidget(), key, mods);
}

// The frames the console sent, in order (the monitor shows each sent line and then its reply).
std::vector<std::string> SentLines(const TfrmTerminal& model) {
  std::vector<std::string> sent;
  const auto lines = model.fMonitor.Lines();
  for (std::size_t i = 0; i < lines.size(); i += 2) sent.push_back(lines[i]);
  return sent;
}

TEST_F(TermViews, ConsoleWorksFromTheKeyboard) {
  TfrmTerminal model(wf_);
  model.FormCreate();
  kvt::ui::TerminalView view(model);
  ASSERT_NO_FATAL_FAILURE(ShowActive(model, view));

  // Enter and the keypad's Enter send the typed line.
  Type("01 2E");
  Press(Qt::Key_Return);
  EXPECT_EQ(SentLines(model), (std::vector<std::string>{"01 2E "}));
  Type("1 54");
  Press(Qt::Key_Enter, Qt::KeypadModifier);
  ASSERT_EQ(SentLines(model).size(), 2u);
  EXPECT_EQ(SentLines(model)[1], "01 54 ");
  EXPECT_EQ(model.fMonitor.Lines().size(), 4u);  // a reply line after each

  // A line chosen from the history goes out on Enter; choosing alone sends nothing.
  Press(Qt::Key_F4);  // the history drops down
  Press(Qt::Key_Home);
  Press(Qt::Key_Return);
  EXPECT_EQ(Child<QComboBox>(view, "InputLine")->currentText(), QString("01 2E "));
  EXPECT_EQ(SentLines(model).size(), 2u);
  Press(Qt::Key_Return);
  ASSERT_EQ(SentLines(model).size(), 3u);
  EXPECT_EQ(SentLines(model)[2], "01 2E ");

  // After a quick button the keys go to the command line again: Enter sends what was typed, not
  // the button's frame once more.
  QTest::mouseClick(view.findChild<QPushButton*>("btnClBL"), Qt::LeftButton);
  Type("01 2E");
  Press(Qt::Key_Return);
  const auto sent = SentLines(model);
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[3], "01 54 ");
  EXPECT_EQ(sent[4], "01 2E ");
  EXPECT_TRUE(guitest::SaveShot(&view, "term_console_typed"));
  view.reject();
}

// A typo, a frame shorter than its length byte, and a silent apparatus are each told in words.
TEST_F(TermViews, BadLinesAndSilenceAreExplained) {
  TfrmTerminal model(wf_);
  model.FormCreate();
  kvt::ui::TerminalView view(model);
  ASSERT_NO_FATAL_FAILURE(ShowActive(model, view));

  Type("zz 1");
  Press(Qt::Key_Return);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_NE(ui_.Messages()[0].text.find("«zz»"), std::string::npos) << ui_.Messages()[0].text;
  Press(Qt::Key_A, Qt::ControlModifier);
  Type("05 23 01");
  Press(Qt::Key_Return);
  ASSERT_EQ(ui_.Messages().size(), 2u);
  EXPECT_NE(ui_.Messages()[1].text.find("длина команды"), std::string::npos);
  EXPECT_TRUE(SentLines(model).empty());

  sim::CurrentApparatus()->GoSilent();
  Press(Qt::Key_A, Qt::ControlModifier);
  Type("01 2E");
  Press(Qt::Key_Return);
  sim::CurrentApparatus()->Resume();
  EXPECT_EQ(SentLines(model), (std::vector<std::string>{"01 2E "}));
  auto* status = view.findChild<QStatusBar*>("StatusBar1");
  ASSERT_NE(status, nullptr);
  bool told = false;
  for (QLabel* l : status->findChildren<QLabel*>())
    told = told || l->text().toStdString() == TfrmTerminal::kNoReply;
  EXPECT_TRUE(told);
  EXPECT_TRUE(guitest::SaveShot(&view, "term_console_silent"));
  view.reject();
}

// Keys that change nothing are no edit; the title tells the file and whether the text was edited.
TEST_F(TermViews, OnlyRealEditsMarkTheImageModified) {
  const fs::path file = dir_ / "backup.mi";
  wf_.btnReadConfigClick();
  ASSERT_TRUE(host_.image);
  ASSERT_TRUE(platform::WriteFileAtomic(file, host_.image->Image));
  ui_.QueueAnswer(platform::Answer::Yes);  // load a new image over the one read
  ui_.QueueFileDialog({true, file.string(), kvt::kFilterMi});
  TfrmTerminal model(wf_);
  kvt::ui::TerminalView view(model);
  model.FormCreate();
  ASSERT_NO_FATAL_FAILURE(ShowActive(model, view));
  QTest::mouseClick(view.findChild<QPushButton*>("btnOpen"), Qt::LeftButton);
  EXPECT_EQ(view.windowTitle(), QString::fromUtf8("Терминал - backup.mi"));

  QPlainTextEdit* memo = Child<QPlainTextEdit>(view, "ImageMemo");
  QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(40, 40));
  ASSERT_EQ(QApplication::focusWidget(), memo);
  Press(Qt::Key_C, Qt::ControlModifier);
  Press(Qt::Key_Down);
  EXPECT_FALSE(SystemStatus().ImageModified);
  EXPECT_EQ(view.windowTitle(), QString::fromUtf8("Терминал - backup.mi"));

  // Typing is an edit, and so is the next key after a save cleared the mark.
  Type("7");
  EXPECT_TRUE(SystemStatus().ImageModified);
  EXPECT_EQ(view.windowTitle(), QString::fromUtf8("Терминал - backup.mi *"));
  SystemStatus().ImageModified = false;
  QApplication::processEvents();  // a person's next key comes through the event loop
  Type("7");
  EXPECT_TRUE(SystemStatus().ImageModified);
  Press(Qt::Key_Backspace);
  Press(Qt::Key_Backspace);
  SystemStatus().ImageModified = false;

  // Esc closes the terminal without a question about changes never made.
  Press(Qt::Key_Escape);
  EXPECT_FALSE(view.isVisible());
  for (const auto& m : ui_.Messages()) EXPECT_NE(m.text, "Сохранить изменения файла настроек?");
}

}  // namespace
