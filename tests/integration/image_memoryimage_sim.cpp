// The memory image against the simulated apparatus: reading banks of page 0, the bank settings,
// writing an image back, and the text form of what was read.

#include <gtest/gtest.h>

#include <vector>

#include "image/ConvertDat.h"
#include "image/MemoryImage.h"
#include "image/Settings.h"
#include "link/PortProbe.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ScopedUi.h"
#include "support/TempDir.h"

namespace kvt {
namespace {

class ImageOnSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteSettings(0, 5);
    apparatus_ = &sim::InstallForTest(sim::Profile{});
    // As the connection set-up does: the probe selects the main controller, then the found port
    // is opened as the connection object.
    const std::string port = ProbeMainControllerPort();
    ASSERT_EQ(port, "COM1");
    connection_ = std::make_unique<TSystemLink>(port);
    ASSERT_TRUE(connection_->IsOpen());
  }
  void TearDown() override { connection_.reset(); }

  void WriteSettings(int start, int end) {
    testsupport::WriteBytes(dir_ / "vesmar.ini",
                            "[Ports]\r\nCOM1=simulator\r\n"
                            "[\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5 \xF0\xE5\xE6\xE8\xEC\xEE\xE2 "
                            "\xE0\xE2\xF2\xEE\xEA\xEE\xED\xF4\xE8\xE3\xF3\xF0\xE0\xF6\xE8\xE8]\r\n"
                            "Start_Image_Bank=" +
                                std::to_string(start) +
                                "\r\nMemory_Image_Size=" + std::to_string(end) + "\r\n");
  }

  // Reads the image as the read workflow does: settings first, then the banks under the lock.
  std::unique_ptr<TMemoryImage> ReadConfigured(std::vector<int>* progress = nullptr) {
    const auto config = settings::ReadImageConfig();
    EXPECT_TRUE(config.has_value());
    if (!config) return nullptr;
    auto image = std::make_unique<TMemoryImage>();
    platform::LinkLock::Guard lock(platform::TheLinkLock());
    const bool ok = image->LoadFromSystem(config->startBank, config->endBank, [&](int percent) {
      if (progress) progress->push_back(percent);
    });
    EXPECT_TRUE(ok);
    return image;
  }

  testsupport::TempDir dir_;
  testsupport::ScopedProgramDir programDir_{dir_.Path()};
  testsupport::ScopedUi ui_;
  sim::Apparatus* apparatus_ = nullptr;
  std::unique_ptr<TSystemLink> connection_;
};

TEST_F(ImageOnSimulator, BanksZeroToFourMake1280Bytes) {
  std::vector<int> progress;
  auto image = ReadConfigured(&progress);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Length(), 1280);
  EXPECT_EQ(image->FirstBank, 0);
  EXPECT_EQ(image->LastBank, 5);
  EXPECT_EQ(image->Image, apparatus_->ReadMemory(0, 1280));
  EXPECT_EQ(image->Image[0x13], 100) << "KUAN of the factory image";
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i], progress[i - 1]);
  EXPECT_FALSE(image->OwnsPort());
}

TEST_F(ImageOnSimulator, StartBankOtherThanZero) {
  WriteSettings(2, 5);
  auto image = ReadConfigured();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Length(), 768);
  EXPECT_EQ(image->FirstBank, 2);
  // Offset 0 of this image is memory address 0x200 (the calibration table bounds).
  EXPECT_EQ(image->Image, apparatus_->ReadMemory(0x200, 768));
  EXPECT_EQ(image->Image[1], 40);
}

TEST_F(ImageOnSimulator, OnlyTheLowByteOfTheBankNumbersCounts) {
  TMemoryImage image;
  platform::LinkLock::Guard lock(platform::TheLinkLock());
  ASSERT_TRUE(image.LoadFromSystem(256 + 1, 512 + 3));
  EXPECT_EQ(image.FirstBank, 257);
  EXPECT_EQ(image.Image, apparatus_->ReadMemory(0x100, 512));
}

TEST_F(ImageOnSimulator, NoBanksMeansNoExchange) {
  platform::LinkLock::Guard lock(platform::TheLinkLock());
  for (auto [first, last] : {std::pair{5, 5}, std::pair{4, 2}, std::pair{0, 256}}) {
    const auto before = apparatus_->ExchangeCount();
    TMemoryImage image;
    EXPECT_TRUE(image.LoadFromSystem(first, last));
    EXPECT_EQ(image.Length(), 0) << first << ".." << last;
    EXPECT_EQ(apparatus_->ExchangeCount(), before) << first << ".." << last;
  }
}

TEST_F(ImageOnSimulator, SilentApparatusIsReported) {
  apparatus_->GoSilent();
  TMemoryImage image;
  platform::LinkLock::Guard lock(platform::TheLinkLock());
  EXPECT_FALSE(image.LoadFromSystem(0, 1));
  EXPECT_EQ(image.Length(), 256);
}

TEST_F(ImageOnSimulator, PatchedImageWrittenBackFromAddressZero) {
  auto image = ReadConfigured();
  ASSERT_TRUE(image);
  const std::uint8_t kuan = 97;
  ASSERT_TRUE(image->Store(addr::kKuan, 1, &kuan));
  {
    platform::LinkLock::Guard lock(platform::TheLinkLock());
    TSystemLink link;
    link.WriteMemory(0, std::uint32_t(image->Image.size()), image->Image.data());
    EXPECT_TRUE(link.LastTransferOk());
  }
  EXPECT_EQ(apparatus_->ReadMemory(0x13, 1)[0], 97);
  // The commit frames had the controller recompute every bank's checksum.
  for (int bank = 0; bank < 5; ++bank) EXPECT_TRUE(apparatus_->BankChecksumOk(bank)) << bank;
  EXPECT_TRUE(ui_->Messages().empty());
}

TEST_F(ImageOnSimulator, ImageReadAsTextThroughTheTemplate) {
  auto image = ReadConfigured();
  ASSERT_TRUE(image);
  const std::string etalon =
      testsupport::ReadBytes(std::filesystem::path(KVT_DATA_DIR) / "Memory/etalon.pat");
  std::string text;
  DatError error;
  ASSERT_TRUE(RenderDatText(etalon, image->Image, text, &error)) << error.Describe();
  EXPECT_NE(text.find("\n100  ; 0x013 KUAN"), std::string::npos);
  EXPECT_EQ(DatTextToImage(text, 1280), image->Image);
}

}  // namespace
}  // namespace kvt
