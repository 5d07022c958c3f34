// The configuration workflows against the simulator: read, open, save and translate the image.

#include <gtest/gtest.h>

#include "integration/term_fixture.h"
#include "platform/Files.h"
#include "platform/Ini.h"

namespace {

using namespace termtest;
using kvt::SystemStatus;
namespace wftext = kvt::wftext;

class TermWorkflows : public TermFixture {
 protected:
  void ReadImage() {
    wf.btnReadConfigClick();
    ASSERT_TRUE(host.image);
  }
  // A modified image saved as .dat to `path` where the conversion fails: no file there, and the
  // image still marked modified.
  void FailingDatSave(const fs::path& path) {
    SystemStatus().ImageModified = true;
    ChooseFile(path, 2);
    wf.btnSaveConfigClick();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(SystemStatus().ImageModified);
  }
};

TEST_F(TermWorkflows, ReadTakesTheConfiguredBanksAndShowsTheTerminal) {
  SystemStatus().ImageModified = true;
  ReadImage();
  EXPECT_EQ(host.image->Image, SimMemory(1280));
  EXPECT_TRUE(SystemStatus().ImageLoaded);
  // The read keeps the flag as it was.
  EXPECT_TRUE(SystemStatus().ImageModified);
  EXPECT_TRUE(host.datFile.empty());
  EXPECT_EQ(host.states, (std::vector<std::string>{wftext::kStateReading, wftext::kStateRead}));
  EXPECT_EQ(host.progressCaptions, std::vector<std::string>{"Чтение образа памяти..."});
  EXPECT_EQ(host.terminalOpens, std::vector<std::string>{"Текущие настройки"});
  EXPECT_EQ(host.reannounces, 1);
  EXPECT_GE(host.refreshes, 1);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(TermWorkflows, ReadingTwiceAsksOnlyToLoadAnew) {
  ReadImage();
  SystemStatus().ImageModified = true;
  ui->QueueAnswer(platform::Answer::Yes);
  ReadImage();
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "Образ памяти уже был загружен.\nЗагрузить новый?");
  EXPECT_EQ(m[0].icon, platform::Icon::Question);
  EXPECT_EQ(m[0].buttons, platform::Buttons::YesNo);
  EXPECT_EQ(m[0].title, "");
  EXPECT_EQ(host.terminalOpens.size(), 2u);

  // No keeps everything as it was.
  kvt::TMemoryImage* held = host.image.get();
  ui->QueueAnswer(platform::Answer::No);
  wf.btnReadConfigClick();
  EXPECT_EQ(host.image.get(), held);
  EXPECT_EQ(host.terminalOpens.size(), 2u);
}

TEST_F(TermWorkflows, ReadWithoutImageConfigurationReportsAndChangesNothing) {
  platform::IniFile ini(dir_ / "vesmar.ini");
  ASSERT_TRUE(ini.WriteString("Описание режимов автоконфигурации", "Memory_Image_Size", "-1"));
  wf.btnReadConfigClick();
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text,
            "В файле vesmar.ini отсутствует конфигурация образа памяти.\nStart_Image_Bank\n"
            "Memory_Image_Size");
  EXPECT_EQ(m[0].icon, platform::Icon::Error);
  EXPECT_FALSE(host.image);
  EXPECT_FALSE(SystemStatus().ImageLoaded);
  EXPECT_TRUE(host.states.empty());
  EXPECT_TRUE(host.terminalOpens.empty());
}

TEST_F(TermWorkflows, ReadFromASilentLineKeepsTheHeldImage) {
  ReadImage();
  kvt::TMemoryImage* held = host.image.get();
  const auto before = held->Image;
  apparatus_->GoSilent();
  ui->QueueAnswer(platform::Answer::Yes);
  wf.btnReadConfigClick();
  EXPECT_EQ(host.image.get(), held);
  EXPECT_EQ(host.image->Image, before);
  auto t = Texts();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], wftext::kReadFailed);
  EXPECT_EQ(host.terminalOpens.size(), 1u);
}

TEST_F(TermWorkflows, TxtChosenWithMiFilterIsSavedAsMi) {
  ReadImage();
  SystemStatus().ImageModified = true;
  ChooseFile(dir_ / "backup.txt", 1);
  wf.btnSaveConfigClick();
  EXPECT_FALSE(fs::exists(dir_ / "backup.txt"));
  auto saved = platform::ReadBinaryFile(dir_ / "backup.mi");
  ASSERT_TRUE(saved);
  EXPECT_EQ(*saved, host.image->Image);
  EXPECT_FALSE(SystemStatus().ImageModified);
  auto dialogs = ui->FileDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_TRUE(dialogs[0].save);
  EXPECT_EQ(dialogs[0].initialDir, host.imageDir);
  EXPECT_EQ(dialogs[0].filter, "Образ памяти(*.mi)|*.mi|Файлы конфигурции системы (*.dat)|*.dat");
}

TEST_F(TermWorkflows, ExtensionRuleLooksAtTheFileNameOnly) {
  using W = kvt::TConfigWorkflows;
  EXPECT_EQ(W::ApplyExtensionRule("/a/b/image.txt", 1), "/a/b/image.mi");
  EXPECT_EQ(W::ApplyExtensionRule("/a/b/image", 2), "/a/b/image.dat");
  EXPECT_EQ(W::ApplyExtensionRule("/a/v1.2/image", 1), "/a/v1.2/image.mi");
  EXPECT_EQ(W::ApplyExtensionRule("/a/b/x.y.dat", 1), "/a/b/x.y.mi");
  EXPECT_EQ(W::ApplyExtensionRule("/a/b/x.mi", 3), "/a/b/x.mi");
}

TEST_F(TermWorkflows, DatSavedAfterDatOpenReproducesItsCommentsAndLayout) {
  const std::string text =
      "; \xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8 (settings)\r\n"
      "$16bitformat #02 >00\r\n"
      "1000 2000 ; limits\r\n"
      "$8bitformat >13 77   ; KUAN\r\n";
  testsupport::WriteBytes(dir_ / "site.dat", text);
  ChooseFile(dir_ / "site.dat", 2);
  wf.btnOpenConfigClick();
  ASSERT_TRUE(host.image);
  EXPECT_EQ(host.image->Image.size(), 1280u);
  EXPECT_EQ(host.datFile, (dir_ / "site.dat").string());
  EXPECT_EQ(host.image->Image[0x200], 0x03);
  EXPECT_EQ(host.image->Image[0x201], 0xE8);
  EXPECT_EQ(host.image->Image[0x213], 77);
  EXPECT_EQ(host.terminalOpens.size(), 1u);

  ChooseFile(dir_ / "copy.dat", 2);
  wf.btnSaveConfigClick();
  EXPECT_EQ(testsupport::ReadBytes(dir_ / "copy.dat"), text);

  // A changed value appears in place; everything around it stays.
  ASSERT_TRUE(wf.StoreIntoImage(0x202, std::vector<std::uint8_t>{0x01, 0x2C}));
  EXPECT_TRUE(SystemStatus().ImageModified);
  ChooseFile(dir_ / "copy2.dat", 2);
  wf.btnSaveConfigClick();
  std::string expected = text;
  expected.replace(expected.find("2000"), 4, "300");
  EXPECT_EQ(testsupport::ReadBytes(dir_ / "copy2.dat"), expected);
  EXPECT_FALSE(SystemStatus().ImageModified);
}

TEST_F(TermWorkflows, DatSaveAfterReadUsesTheProgramTemplate) {
  ReadImage();
  ChooseFile(dir_ / "read", 2);
  wf.btnSaveConfigClick();
  const std::string saved = testsupport::ReadBytes(dir_ / "read.dat");
  const std::string templ = testsupport::ReadBytes(dir_ / "Memory" / "etalon.pat");
  // Same comments and layout as the template; the values are the simulator's.
  EXPECT_EQ(saved.substr(0, saved.find('\n')), templ.substr(0, templ.find('\n')));
  EXPECT_EQ(kvt::DatTextToImage(saved, 1280), SimMemory(1280));
}

TEST_F(TermWorkflows, DatWithFormatErrorKeepsTheHeldImageAndStillShowsTheTerminal) {
  ReadImage();
  kvt::TMemoryImage* held = host.image.get();
  testsupport::WriteBytes(dir_ / "bad.dat", "#02 >00 12 1x 5\n");
  ui->QueueAnswer(platform::Answer::Yes);
  ChooseFile(dir_ / "bad.dat", 2);
  wf.btnOpenConfigClick();
  auto m = Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[1].text,
            "Ошибка 1\n" + (dir_ / "bad.dat").string() + "\nСтрока 1: неизвестная лексема \"1x\"");
  EXPECT_EQ(m[1].title, "vesmar");
  EXPECT_EQ(m[1].icon, platform::Icon::Error);
  EXPECT_EQ(host.image.get(), held);
  EXPECT_TRUE(host.datFile.empty());
  EXPECT_EQ(host.terminalOpens.size(), 2u);
}

TEST_F(TermWorkflows, NoToSavingLeavesImageModifiedFalseEvenAfterCancel) {
  ReadImage();
  SystemStatus().ImageModified = true;
  ui->QueueAnswer(platform::Answer::Yes);  // load a new one
  ui->QueueAnswer(platform::Answer::No);   // do not save the current one
  CancelFileDialog();
  wf.btnOpenConfigClick();
  auto t = Texts();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], "Сохранить текущий файл настроек?");
  EXPECT_FALSE(SystemStatus().ImageModified);
  EXPECT_TRUE(host.image);
  // Cancelling the dialog ends the workflow: no terminal.
  EXPECT_EQ(host.terminalOpens.size(), 1u);
}

TEST_F(TermWorkflows, YesToSavingRunsTheSaveBeforeTheOpenDialog) {
  ReadImage();
  SystemStatus().ImageModified = true;
  ui->QueueAnswer(platform::Answer::Yes);
  ui->QueueAnswer(platform::Answer::Yes);
  ChooseFile(dir_ / "before.mi", 1);
  CancelFileDialog();
  wf.btnOpenConfigClick();
  EXPECT_TRUE(fs::exists(dir_ / "before.mi"));
  auto d = ui->FileDialogs();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_TRUE(d[0].save);
  EXPECT_FALSE(d[1].save);
}

TEST_F(TermWorkflows, MiThatCannotBeOpenedIsReportedAndTheOldImageStays) {
  ReadImage();
  kvt::TMemoryImage* held = host.image.get();
  testsupport::WriteBytes(dir_ / "only.txt", "x");
  ui->QueueAnswer(platform::Answer::Yes);
  ChooseFile(dir_ / "only.txt", 1);  // becomes only.mi, which does not exist
  wf.btnOpenConfigClick();
  auto t = Texts();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], std::string(wftext::kCannotOpen) + (dir_ / "only.mi").string());
  EXPECT_EQ(host.image.get(), held);
  EXPECT_TRUE(SystemStatus().ImageLoaded);
}

TEST_F(TermWorkflows, MiOpenTakesTheWholeFile) {
  std::vector<std::uint8_t> bytes(300);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 7);
  ASSERT_TRUE(platform::WriteFileAtomic(dir_ / "small.mi", bytes));
  ChooseFile(dir_ / "small.mi", 1);
  wf.btnOpenConfigClick();
  ASSERT_TRUE(host.image);
  EXPECT_EQ(host.image->Image, bytes);
  EXPECT_TRUE(host.datFile.empty());
  EXPECT_EQ(host.terminalOpens.size(), 1u);
}

TEST_F(TermWorkflows, FailedDatConversionOnSaveIsReportedAndKeepsTheFlag) {
  ReadImage();
  testsupport::WriteBytes(dir_ / "Memory" / "etalon.pat", "#00 >00 zz 1\n");
  FailingDatSave(dir_ / "out.dat");
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].icon, platform::Icon::Error);
  EXPECT_NE(m[0].text.find("zz"), std::string::npos);
}

TEST_F(TermWorkflows, TranslateWritesTheImageAndCommitsTheBanks) {
  ReadImage();
  ASSERT_TRUE(wf.StoreIntoImage(0x13, std::vector<std::uint8_t>{0x55}));
  SystemStatus().ImageModified = false;
  wf.btnTranslateToMemoryClick();
  // The controller recomputes each bank's checksum (its last two bytes) on the commit frames.
  auto written = SimMemory(1280);
  for (std::size_t i = 0; i < 1280; ++i) {
    if (i % 256 < 254) {
      ASSERT_EQ(written[i], host.image->Image[i]) << i;
    }
  }
  EXPECT_EQ(written[0x13], 0x55);
  for (int bank = 0; bank < 5; ++bank) EXPECT_TRUE(apparatus_->BankChecksumOk(bank)) << bank;
  EXPECT_EQ(host.progressCaptions.back(), "Запись образа памяти в систему...");
  EXPECT_FALSE(SystemStatus().ImageModified);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(TermWorkflows, TranslateToASilentLineIsReported) {
  ReadImage();
  apparatus_->GoSilent();
  wf.btnTranslateToMemoryClick();
  EXPECT_EQ(Texts(), std::vector<std::string>{wftext::kWriteFailed});
}

TEST_F(TermWorkflows, StoresBeyondTheImageAreRefusedWithoutMarkingIt) {
  EXPECT_FALSE(wf.StoreIntoImage(0, std::vector<std::uint8_t>{1}));  // no image yet
  ReadImage();
  EXPECT_FALSE(wf.StoreIntoImage(1279, std::vector<std::uint8_t>{1, 2}));
  EXPECT_FALSE(SystemStatus().ImageModified);
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "Выход за пределы образа при записи. Данные не сохранены!");
  EXPECT_TRUE(wf.StoreIntoImage(1278, std::vector<std::uint8_t>{1, 2}));
  EXPECT_TRUE(SystemStatus().ImageModified);
}

TEST_F(TermWorkflows, EmptyBankRangeIsReportedAndNothingIsRead) {
  ReadImage();
  kvt::TMemoryImage* held = host.image.get();
  platform::IniFile ini(dir_ / "vesmar.ini");
  // Only the low byte counts: 256 is bank 0, which ends the range before it starts.
  ASSERT_TRUE(ini.WriteString("Описание режимов автоконфигурации", "Memory_Image_Size", "256"));
  apparatus_->ClearFrameLog();
  ui->QueueAnswer(platform::Answer::Yes);
  wf.btnReadConfigClick();
  auto t = Texts();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], wftext::kBadImageConfig);
  EXPECT_EQ(host.image.get(), held);
  EXPECT_EQ(host.image->Image.size(), 1280u);
  EXPECT_TRUE(apparatus_->FrameLog().empty());
  EXPECT_EQ(host.terminalOpens.size(), 1u);
}

TEST_F(TermWorkflows, MiOfNoOrMoreThanAPageOfBytesIsRefusedAndOddLengthsAreTaken) {
  ReadImage();
  kvt::TMemoryImage* held = host.image.get();
  ASSERT_TRUE(platform::WriteFileAtomic(dir_ / "empty.mi", std::vector<std::uint8_t>{}));
  ASSERT_TRUE(
      platform::WriteFileAtomic(dir_ / "huge.mi", std::vector<std::uint8_t>(0x10001, 0xAA)));
  for (const char* name : {"empty.mi", "huge.mi"}) {
    ui->ClearRecords();
    ui->QueueAnswer(platform::Answer::Yes);
    ChooseFile(dir_ / name, 1);
    wf.btnOpenConfigClick();
    auto t = Texts();
    ASSERT_EQ(t.size(), 2u) << name;
    EXPECT_EQ(t[1].rfind(wftext::kNotAnImage, 0), 0u) << t[1];
    EXPECT_NE(t[1].find(name), std::string::npos) << t[1];
    EXPECT_EQ(host.image.get(), held) << name;
  }
  // A whole page, and an odd length, are images.
  for (std::size_t size : {std::size_t(0x10000), std::size_t(301)}) {
    ASSERT_TRUE(platform::WriteFileAtomic(dir_ / "ok.mi", std::vector<std::uint8_t>(size, 7)));
    ui->QueueAnswer(platform::Answer::Yes);
    ChooseFile(dir_ / "ok.mi", 1);
    wf.btnOpenConfigClick();
    ASSERT_TRUE(host.image);
    EXPECT_EQ(host.image->Image.size(), size);
  }
}

TEST_F(TermWorkflows, TranslateOfAnEmptyImageSendsNothing) {
  host.image = kvt::TMemoryImage::CreateFromBuffer(std::vector<std::uint8_t>{});
  SystemStatus().ImageLoaded = true;
  apparatus_->ClearFrameLog();
  wf.btnTranslateToMemoryClick();
  EXPECT_TRUE(apparatus_->FrameLog().empty());
  EXPECT_EQ(Texts(), std::vector<std::string>{wftext::kNothingToWrite});
  EXPECT_TRUE(host.progressCaptions.empty());
}

TEST_F(TermWorkflows, SaveThatCannotBeWrittenIsReportedKeepsTheFlagAndStopsTheOpen) {
  ReadImage();
  SystemStatus().ImageModified = true;
  ui->QueueAnswer(platform::Answer::Yes);  // load a new one
  ui->QueueAnswer(platform::Answer::Yes);  // save the current one first
  ChooseFile(dir_ / "no-such-folder" / "keep.mi", 1);
  wf.btnOpenConfigClick();
  auto t = Texts();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[2], wftext::kCannotWrite + (dir_ / "no-such-folder" / "keep.mi").string());
  // The changes exist only in the program: no open dialog, and the flag still offers a save.
  EXPECT_EQ(ui->FileDialogs().size(), 1u);
  EXPECT_TRUE(SystemStatus().ImageModified);
}

TEST_F(TermWorkflows, OpenedDatThatVanishedIsReportedWhenItWouldServeAsTemplate) {
  const fs::path dat = dir_ / "gone.dat";
  testsupport::WriteBytes(dat, "#00 >13 77 \r\n");
  ChooseFile(dat, 2);
  wf.btnOpenConfigClick();
  ASSERT_TRUE(host.image);
  EXPECT_EQ(host.image->Image[0x13], 77);
  fs::remove(dat);
  FailingDatSave(dir_ / "again.dat");
  auto t = Texts();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_NE(t[0].find(dat.string()), std::string::npos) << t[0];
  // The image itself is still there to be saved as ".mi".
  ChooseFile(dir_ / "again.mi", 1);
  wf.btnSaveConfigClick();
  EXPECT_TRUE(fs::exists(dir_ / "again.mi"));
  EXPECT_FALSE(SystemStatus().ImageModified);
}

}  // namespace
