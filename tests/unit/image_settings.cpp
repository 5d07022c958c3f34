// vesmar.ini access: defaults, the image configuration, writers, and the shipped file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "image/Settings.h"
#include "platform/Codepage.h"

namespace kvt::settings {
namespace {

class ImageSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kvt-image-settings-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    ini_ = dir_ / "vesmar.ini";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  // Written as the apparatus's files are: windows-1251, CRLF.
  void Write(const std::string& utf8) {
    std::string text;
    for (char c : utf8) {
      if (c == '\n') text += '\r';
      text += c;
    }
    std::ofstream(ini_, std::ios::binary) << platform::Utf8ToCp1251(text);
  }
  std::string Raw() {
    std::ifstream in(ini_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path dir_, ini_;
};

TEST_F(ImageSettings, DefaultsWhenKeysAreAbsent) {
  Write("[Other]\nx=1\n");
  EXPECT_EQ(ReadStartImageBank(ini_), -1);
  EXPECT_EQ(ReadMemoryImageSize(ini_), -1);
  EXPECT_FALSE(ReadImageConfig(ini_).has_value());
  EXPECT_EQ(ReadCsBanksCheck(ini_), "");
  EXPECT_EQ(ReadVmemPath(ini_), "C:/");
  EXPECT_EQ(ReadSnapshotTimeout(ini_), 1);
  EXPECT_EQ(ReadDigOscTools(ini_), 0);
  EXPECT_EQ(ReadErrorDescription(0x1F, ini_), "Неизвестная авария (Код: 0x1F)");
  EXPECT_EQ(ReadErrorDescription(0x0A, ini_), "Неизвестная авария (Код: 0x0A)");
  EXPECT_EQ(ReadModuleName(10, ini_), "Неизвестный модуль");
  EXPECT_FALSE(PageSectionExists(3, ini_));
  EXPECT_EQ(ReadPageMinCode(3, ini_), 0);
  EXPECT_EQ(ReadPageMaxCode(3, ini_), 0);
  EXPECT_EQ(ReadPageModuleRequired(3, ini_), 0);
  EXPECT_EQ(ReadPageDescription(3, ini_), "неизвестный модуль");
  EXPECT_EQ(ReadDispersalMinDelta(ini_), 0);
  EXPECT_EQ(ReadBrakingMinDelta(ini_), 0);
  EXPECT_EQ(ReadDispersalMaxDelta(ini_), 0);
  EXPECT_EQ(ReadBrakingMaxDelta(ini_), 0);
  // A missing file reads as all defaults too.
  EXPECT_EQ(ReadSnapshotTimeout(dir_ / "none.ini"), 1);
  EXPECT_FALSE(ReadImageConfig(dir_ / "none.ini").has_value());
}

TEST_F(ImageSettings, ImageConfigNeedsBothKeys) {
  Write("[Описание режимов автоконфигурации]\nStart_Image_Bank=2\n");
  EXPECT_FALSE(ReadImageConfig(ini_).has_value());
  Write("[Описание режимов автоконфигурации]\nMemory_Image_Size=5\n");
  EXPECT_FALSE(ReadImageConfig(ini_).has_value());
  Write("[Описание режимов автоконфигурации]\nStart_Image_Bank=2\nMemory_Image_Size=-1\n");
  EXPECT_FALSE(ReadImageConfig(ini_).has_value());
  Write("[описание режимов АВТОКОНФИГУРАЦИИ]\nstart_image_bank=2\nMEMORY_IMAGE_SIZE=5\n");
  const auto config = ReadImageConfig(ini_);
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(config->startBank, 2);
  EXPECT_EQ(config->endBank, 5);
}

TEST_F(ImageSettings, LookupKeysAndEditsWhileRunning) {
  Write(
      "[Описание ошибок флюорографа]\n1F=Превышено время\n0A=Десять\n"
      "[Описание системных модулей]\n21=ГН-Генератор накала\n"
      "[Page1]\nMinCode=20\nMaxCode=29\nModuleRequired=1\nDescription=генератор накала\n");
  EXPECT_EQ(ReadErrorDescription(0x1F, ini_), "Превышено время");
  EXPECT_EQ(ReadErrorDescription(0x0A, ini_), "Десять") << "key is two upper-case digits";
  EXPECT_EQ(ReadModuleName(21, ini_), "ГН-Генератор накала");
  EXPECT_TRUE(PageSectionExists(1, ini_));
  EXPECT_EQ(ReadPageMinCode(1, ini_), 20);
  EXPECT_EQ(ReadPageMaxCode(1, ini_), 29);
  EXPECT_EQ(ReadPageModuleRequired(1, ini_), 1);
  EXPECT_EQ(ReadPageDescription(1, ini_), "генератор накала");
  // Nothing is cached: the next read sees the edited file.
  Write("[Описание системных модулей]\n21=ГН-Новый генератор\n");
  EXPECT_EQ(ReadModuleName(21, ini_), "ГН-Новый генератор");
  EXPECT_FALSE(PageSectionExists(1, ini_));
}

TEST_F(ImageSettings, WritersChangeOnlyTheirLines) {
  Write(
      "[Ports]\nCOM1=simulator\n\n[Описание режимов автоконфигурации]\nSNAPSHOTTIMEOUT=1\n"
      "DigOscTools=0\n");
  const std::string before = Raw();
  ASSERT_TRUE(WriteSnapshotTimeout(3, ini_));
  ASSERT_TRUE(WriteDigOscTools(1, ini_));
  ASSERT_TRUE(WriteVmemPath("/home/engineer/Образы", ini_));
  EXPECT_EQ(ReadSnapshotTimeout(ini_), 3);
  EXPECT_EQ(ReadDigOscTools(ini_), 1);
  EXPECT_EQ(ReadVmemPath(ini_), "/home/engineer/Образы");
  const std::string after = Raw();
  EXPECT_EQ(after.substr(0, 16), before.substr(0, 16)) << "the [Ports] lines stay as they were";
  EXPECT_NE(after.find("SNAPSHOTTIMEOUT=3\r\n"), std::string::npos);
  EXPECT_NE(after.find(platform::Utf8ToCp1251("Образы")), std::string::npos)
      << "written in windows-1251";
}

// The shipped settings file agrees with the simulator's defaults.
TEST(ImageSettingsShipped, DefaultVesmarIni) {
  const std::filesystem::path ini = std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini";
  std::ifstream in(ini, std::ios::binary);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "[Ports]\r") << "[Ports] comes first";
  const auto config = ReadImageConfig(ini);
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(config->startBank, 0);
  EXPECT_EQ(config->endBank, 5);
  EXPECT_EQ(ReadCsBanksCheck(ini), "0,1,2,3,4");
  EXPECT_EQ(ReadVmemPath(ini), "C:/") << "VMEM_PATH is left out so the default shows";
  EXPECT_EQ(ReadSnapshotTimeout(ini), 1);
  EXPECT_EQ(ReadDigOscTools(ini), 0);
  for (std::uint8_t code : {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x10, 0x11, 0x1F, 0x8A})
    EXPECT_NE(ReadErrorDescription(code, ini), UnknownErrorText(code)) << int(code);
  const int codes[] = {10, 21, 32, 43, 54};
  for (int page = 0; page < 5; ++page) {
    const std::string name = ReadModuleName(codes[page], ini);
    EXPECT_NE(name, kUnknownModule);
    EXPECT_NE(name.find('-'), std::string::npos) << name;
    EXPECT_LE(ReadPageMinCode(page, ini), codes[page]);
    EXPECT_GE(ReadPageMaxCode(page, ini), codes[page]);
  }
  EXPECT_EQ(ReadModuleName(10, ini), "ЦП-Центральный процессор");
  for (int page = 0; page <= 5; ++page) {
    EXPECT_EQ(ReadPageMinCode(page, ini), 10 * (page + 1)) << page;
    EXPECT_EQ(ReadPageMaxCode(page, ini), 10 * (page + 1) + 9) << page;
    EXPECT_EQ(ReadPageModuleRequired(page, ini), page <= 2 ? 1 : 0) << page;
    EXPECT_NE(ReadPageDescription(page, ini), kUnknownPageModule) << page;
  }
  EXPECT_FALSE(PageSectionExists(6, ini));
  EXPECT_GT(ReadDispersalMinDelta(ini), 0);
  EXPECT_GT(ReadBrakingMaxDelta(ini), 0);
}

}  // namespace
}  // namespace kvt::settings
