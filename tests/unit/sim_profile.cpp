// The simulator's profile file and the memory it keeps between runs.

#include <gtest/gtest.h>

#include "platform/Codepage.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/Profile.h"
#include "support/TempDir.h"

namespace {

using testsupport::TempDir;
using testsupport::WriteBytes;

TEST(SimProfile, MissingFileGivesTheHealthyDefaults) {
  TempDir dir;
  sim::Profile p = sim::LoadProfile(dir / "simulator.ini");
  EXPECT_EQ(p.type, "K2");
  EXPECT_EQ(p.version, 23);
  EXPECT_EQ(p.pageCodes[0], 10);
  EXPECT_EQ(p.pageCodes[4], 54);
  EXPECT_EQ(p.pageCodes[5], 255);
  EXPECT_EQ(p.memoryFile, "sim-memory.bin");
  EXPECT_TRUE(p.warnings.empty());
}

TEST(SimProfile, InlineCommentsAndWindows1251Text) {
  TempDir dir;
  std::string text = "; " + platform::Utf8ToCp1251("Профиль тренажёра") +
                     "\r\n"
                     "[Simulator]\r\n"
                     "Type=k3   ; " +
                     platform::Utf8ToCp1251("тип системы") +
                     "\r\n"
                     "Version=31;no blank before the comment\r\n"
                     "Timing=Instant ; tests\r\n"
                     "MemoryFile=   ; " +
                     platform::Utf8ToCp1251("не хранить") +
                     "\r\n"
                     "VoltageMeter=1\r\n"
                     "[Modules]\r\n"
                     "Page5=61 ; " +
                     platform::Utf8ToCp1251("модуль") +
                     "\r\n"
                     "Page0=255\r\n"
                     "Ext254=200\r\n"
                     "[Faults]\r\n"
                     "BrokenBanks=3, 5 ; two banks\r\n"
                     "Alarm=8A ; " +
                     platform::Utf8ToCp1251("авария") +
                     "\r\n"
                     "SilentAfter=12\r\n"
                     "SilentFor=500\r\n"
                     "Garbage=2\r\n";
  WriteBytes(dir / "simulator.ini", text);
  sim::Profile p = sim::LoadProfile(dir / "simulator.ini");
  EXPECT_TRUE(p.warnings.empty()) << p.warnings.front();
  EXPECT_EQ(p.type, "K3");
  EXPECT_EQ(p.version, 31);
  EXPECT_EQ(p.timing, sim::Timing::Instant);
  EXPECT_EQ(p.memoryFile, "");
  EXPECT_TRUE(p.voltageMeter);
  EXPECT_EQ(p.pageCodes[5], 61);
  EXPECT_EQ(p.pageCodes[0], 255);
  EXPECT_EQ(p.pageCodes[1], 21);
  EXPECT_EQ(p.extensionCodes[2], 200);
  EXPECT_EQ(p.brokenBanks, (std::vector<int>{3, 5}));
  EXPECT_EQ(p.alarm, 0x8A);
  EXPECT_EQ(p.silentAfter, 12);
  EXPECT_EQ(p.silentForMs, 500);
  EXPECT_EQ(p.garbage, 2);
}

TEST(SimProfile, BadValuesAreReportedAndKeepTheirDefaults) {
  TempDir dir;
  WriteBytes(dir / "simulator.ini",
             "[Simulator]\nType=K22\nVersion=abc\nTiming=fast\n"
             "[Modules]\nPage3=300\n[Faults]\nBrokenBanks=1,x\nAlarm=ZZ\n");
  sim::Profile p = sim::LoadProfile(dir / "simulator.ini");
  EXPECT_EQ(p.type, "K2");
  EXPECT_EQ(p.version, 23);
  EXPECT_EQ(p.timing, sim::Timing::Realistic);
  EXPECT_EQ(p.pageCodes[3], 43);
  EXPECT_TRUE(p.brokenBanks.empty());
  EXPECT_EQ(p.alarm, -1);
  ASSERT_EQ(p.warnings.size(), 6u);
  EXPECT_NE(p.warnings[1].find("Version=abc"), std::string::npos);
}

TEST(SimProfile, PlantKeysAreReadAndBadOnesNamed) {
  TempDir dir;
  WriteBytes(dir / "simulator.ini",
             "[Plant]\r\nMains=230.5 ; volts\r\nMainsC=205\r\nAnodeGain=0.97\r\n"
             "TubeAgeing=0.2\r\nPhaseSlopeB=1.8\r\nSeed=77\r\nAlarmCode=1F\r\n"
             "AlarmOnShot=3\r\nMainsGain=abc\r\nNoise=-1\r\nResistanceError=2\r\n");
  sim::Profile p = sim::LoadProfile(dir / "simulator.ini");
  const sim::PlantSettings d;
  EXPECT_EQ(p.plant.mainsVolts[0], 230.5);
  EXPECT_EQ(p.plant.mainsVolts[1], d.mainsVolts[1]);
  EXPECT_EQ(p.plant.mainsVolts[2], 205);
  EXPECT_EQ(p.plant.anodeGain, 0.97);
  EXPECT_EQ(p.plant.tubeAgeing, 0.2);
  EXPECT_EQ(p.plant.phaseSlope[1], 1.8);
  EXPECT_EQ(p.plant.seed, 77u);
  EXPECT_EQ(p.plant.alarmCode, 0x1F);
  EXPECT_EQ(p.plant.alarmOnShot, 3);
  EXPECT_EQ(p.plant.mainsGain, d.mainsGain);
  EXPECT_EQ(p.plant.noise, d.noise);
  EXPECT_EQ(p.plant.resistanceError, d.resistanceError);
  ASSERT_EQ(p.warnings.size(), 3u);
  EXPECT_NE(p.warnings[0].find("[Plant] MainsGain=abc"), std::string::npos) << p.warnings[0];
  EXPECT_NE(p.warnings[2].find("Noise=-1"), std::string::npos);
}

TEST(SimMemoryFile, PageZeroSurvivesAnotherInstanceAndDeletionRestoresTheDefault) {
  TempDir dir;
  auto file = dir / "sim-memory.bin";
  sim::Profile p;
  p.timing = sim::Timing::Instant;
  {
    sim::Apparatus a(p, file);
    a.WriteMemory(0x13, {96});
    a.CommitBank(0);
  }
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 65536u);
  {
    sim::Apparatus b(p, file);
    EXPECT_EQ(b.ReadMemory(0x13, 1), (std::vector<std::uint8_t>{96}));
    EXPECT_TRUE(b.BankChecksumOk(0));
  }
  std::filesystem::remove(file);
  sim::Apparatus c(p, file);
  EXPECT_EQ(c.ReadMemory(0x13, 1), (std::vector<std::uint8_t>{100}));
}

TEST(SimMemoryFile, WrongSizeFileMeansTheDefaultImageWithAWarning) {
  TempDir dir;
  auto file = dir / "sim-memory.bin";
  WriteBytes(file, std::string(1000, '\x55'));
  sim::Apparatus a(sim::Profile{}, file);
  EXPECT_EQ(a.ReadMemory(0x13, 1), (std::vector<std::uint8_t>{100}));
  EXPECT_EQ(a.Warnings().size(), 1u);
  // The broken file is left alone until the apparatus writes its memory.
  EXPECT_EQ(std::filesystem::file_size(file), 1000u);
}

TEST(SimMemoryFile, AProfileFaultIsNotWrittenIntoTheKeptMemory) {
  TempDir dir;
  auto file = dir / "sim-memory.bin";
  sim::Profile broken;
  broken.brokenBanks = {3};
  {
    sim::Apparatus a(broken, file);
    EXPECT_FALSE(a.BankChecksumOk(3));
    a.WriteMemory(0x20, {15});  // any change writes the file
  }
  sim::Apparatus healthy(sim::Profile{}, file);
  EXPECT_TRUE(healthy.BankChecksumOk(3));
}

TEST(SimInstall, SameFolderKeepsTheApparatusAndTheProfileIsRead) {
  TempDir dir;
  WriteBytes(dir / "simulator.ini", "[Simulator]\r\nType=K4\r\nTiming=instant\r\nMemoryFile=\r\n");
  sim::InstallSimulator(dir.Path());
  auto first = sim::CurrentApparatus();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->CurrentProfile().type, "K4");
  sim::InstallSimulator(dir.Path());
  EXPECT_EQ(sim::CurrentApparatus(), first);
  auto direct = sim::OpenSimulatorPort();
  ASSERT_TRUE(direct);
  EXPECT_EQ(direct->CurrentParity(), platform::Parity::Space);
}

}  // namespace

namespace {

TEST(SimProfile, ShippedProfileIsHealthyAndRealistic) {
  sim::Profile p = sim::LoadProfile(std::filesystem::path(KVT_DATA_DIR) / "simulator.ini");
  EXPECT_TRUE(p.warnings.empty()) << p.warnings.front();
  sim::Profile d;
  EXPECT_EQ(p.type, d.type);
  EXPECT_EQ(p.version, d.version);
  EXPECT_EQ(p.timing, sim::Timing::Realistic);
  EXPECT_EQ(p.memoryFile, "sim-memory.bin");
  EXPECT_EQ(p.pageCodes, d.pageCodes);
  EXPECT_EQ(p.extensionCodes, d.extensionCodes);
  EXPECT_TRUE(p.brokenBanks.empty());
  EXPECT_FALSE(p.silent || p.truncate || p.overlong || p.voltageMeter);
  EXPECT_EQ(p.garbage + p.silentAfter + p.silentForMs, 0);
  EXPECT_EQ(p.alarm, -1);
  EXPECT_EQ(p.state, -1);
}

}  // namespace
