// kvtctl's image conversions as an engineer scripts them: exit codes, messages, files.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/Kvtctl.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

using testsupport::CliRun;

class ImageKvtctl : public testsupport::KvtctlFixture {
 protected:
  ImageKvtctl() { dirArg_ = dir_.Path().string(); }
};

TEST_F(ImageKvtctl, Dat2MiAndBack) {
  testsupport::WriteBytes(dir_ / "in.dat", "; bounds\n$16bitformat #02 >00 1000 2000 ;limits\n");
  CliRun r = Kvtctl("dat2mi in.dat out.mi");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string bin = testsupport::ReadBytes(dir_ / "out.mi");
  ASSERT_EQ(bin.size(), 1280u);
  EXPECT_EQ(std::uint8_t(bin[512]), 0x03);
  EXPECT_EQ(std::uint8_t(bin[513]), 0xE8);

  r = Kvtctl("dat2mi in.dat small.mi 16");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir_ / "small.mi"), std::string(16, '\0'));

  // Back through the same text as template: its layout and values come back.
  r = Kvtctl("mi2dat out.mi back.dat in.dat");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir_ / "back.dat"), testsupport::ReadBytes(dir_ / "in.dat"));

  // The shipped template over an image taken from it gives the template again.
  const fs::path etalon = fs::path(KVT_DATA_DIR) / "Memory/etalon.pat";
  r = Kvtctl("dat2mi '" + etalon.string() + "' etalon.mi");
  ASSERT_EQ(r.status, 0) << r.err;
  r = Kvtctl("mi2dat etalon.mi etalon.dat '" + etalon.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir_ / "etalon.dat"), testsupport::ReadBytes(etalon));
}

TEST_F(ImageKvtctl, FailuresAreReportedAndWriteNothing) {
  testsupport::WriteBytes(dir_ / "bad.dat", "1 2\n3 #0g 4\n");
  CliRun r = Kvtctl("dat2mi bad.dat out.mi");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Строка 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("#0g"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "out.mi"));

  r = Kvtctl("dat2mi missing.dat out.mi");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Can't open file missing.dat"), std::string::npos) << r.err;

  r = Kvtctl("dat2mi bad.dat out.mi 12x");
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(r.err.empty());

  r = Kvtctl("mi2dat missing.mi out.dat bad.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Can't open file missing.mi"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "out.dat"));

  r = Kvtctl("write-image image.txt");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find(".mi or .dat"), std::string::npos) << r.err;
}

// Reading and writing the apparatus's image through the simulator (kept in sim-memory.bin
// between the runs, as on the engineer's machine).
TEST_F(ImageKvtctl, ReadAndWriteTheApparatusImage) {
  testsupport::WriteBytes(dir_ / "simulator.ini",
                          "[Simulator]\r\nTiming=instant\r\nMemoryFile=sim-memory.bin\r\n");
  testsupport::WriteBytes(dir_ / "vesmar.ini",
                          testsupport::ReadBytes(fs::path(KVT_DATA_DIR) / "vesmar.ini"));
  fs::create_directories(dir_ / "Memory");
  fs::copy_file(fs::path(KVT_DATA_DIR) / "Memory/etalon.pat", dir_ / "Memory/etalon.pat");

  CliRun r = Kvtctl("read-image first.mi");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string first = testsupport::ReadBytes(dir_ / "first.mi");
  ASSERT_EQ(first.size(), 1280u);
  EXPECT_EQ(std::uint8_t(first[0x13]), 100);

  r = Kvtctl("read-image first.dat");
  ASSERT_EQ(r.status, 0) << r.err;
  // The engineer edits KUAN in the text and writes the image back.
  ASSERT_TRUE(EditKuan("first.dat", "97", "edited.dat"));
  r = Kvtctl("write-image edited.dat");
  ASSERT_EQ(r.status, 0) << r.err;
  r = Kvtctl("read-image second.mi");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string second = testsupport::ReadBytes(dir_ / "second.mi");
  ASSERT_EQ(second.size(), 1280u);
  EXPECT_EQ(std::uint8_t(second[0x13]), 97);
  // Only KUAN and bank 0's checksum (recomputed by the controller) changed.
  for (std::size_t i = 0; i < 1280; ++i) {
    if (i == 0x13 || i == 0xFE || i == 0xFF) continue;
    EXPECT_EQ(first[i], second[i]) << i;
  }

  // A broken text sends nothing.
  testsupport::WriteBytes(dir_ / "broken.dat", "1 2 3 oops\n");
  r = Kvtctl("write-image broken.dat");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("oops"), std::string::npos) << r.err;
  // Neither does a text that names no value of the image (it would write zeros everywhere).
  testsupport::WriteBytes(dir_ / "empty.dat", "; nothing here\r\n$16bitformat #05 >00 1 2\r\n");
  r = Kvtctl("write-image empty.dat");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("no value"), std::string::npos) << r.err;
  r = Kvtctl("read-image unchanged.mi");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir_ / "unchanged.mi"), second);

  r = Kvtctl("write-image first.mi");
  ASSERT_EQ(r.status, 0) << r.err;
  r = Kvtctl("read-image third.mi");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir_ / "third.mi"), first);
}

TEST_F(ImageKvtctl, ReadImageNeedsTheImageConfiguration) {
  testsupport::WriteBytes(dir_ / "simulator.ini", "[Simulator]\r\nTiming=instant\r\n");
  testsupport::WriteBytes(dir_ / "vesmar.ini", "[Ports]\r\nCOM1=simulator\r\n");
  const CliRun r = Kvtctl("read-image out.mi");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Start_Image_Bank"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "out.mi"));
}

// identify: 0 only for a ready system, 1 for an apparatus with faults (an alarm among them, told
// by the final state poll), 2 when nothing answers.
TEST_F(ImageKvtctl, IdentifyExitCodeTellsReadyFaultyAndSilent) {
  testsupport::WriteBytes(dir_ / "vesmar.ini",
                          testsupport::ReadBytes(fs::path(KVT_DATA_DIR) / "vesmar.ini"));
  const std::string instant = "[Simulator]\r\nTiming=instant\r\nMemoryFile=\r\n";
  testsupport::WriteBytes(dir_ / "simulator.ini", instant);
  CliRun r = Kvtctl("identify");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("СИСТЕМА ГОТОВА К РАБОТЕ!"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Состояние: СИСТЕМА ВЫКЛЮЧЕНА"), std::string::npos) << r.out;

  testsupport::WriteBytes(dir_ / "simulator.ini", instant + "[Faults]\r\nAlarm=1F\r\n");
  r = Kvtctl("identify");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("Состояние: ОШИБКА\nАвария в системе: "), std::string::npos) << r.out;

  testsupport::WriteBytes(dir_ / "simulator.ini", instant + "[Faults]\r\nBrokenBanks=2\r\n");
  r = Kvtctl("identify");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("Несовпадение"), std::string::npos) << r.out;

  testsupport::WriteBytes(dir_ / "simulator.ini", instant + "[Faults]\r\nSilent=1\r\n");
  r = Kvtctl("identify");
  EXPECT_EQ(r.status, 2) << r.out << r.err;
}

// Without vesmar.ini there is no port map, and no port of the machine may be probed.
TEST_F(ImageKvtctl, ApparatusCommandsNeedTheSettingsFile) {
  testsupport::WriteBytes(dir_ / "simulator.ini", "[Simulator]\r\nTiming=instant\r\n");
  testsupport::WriteBytes(dir_ / "in.mi", std::string(1280, '\x01'));
  for (const char* command : {"read-image out.mi", "write-image in.mi", "state", "send 01 2E",
                              "read-bank 0 0", "identify", "monitor 1"}) {
    const CliRun r = Kvtctl(command);
    EXPECT_NE(r.status, 0) << command;
    EXPECT_NE(r.err.find("vesmar.ini not found"), std::string::npos) << command << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "out.mi"));
}

}  // namespace
