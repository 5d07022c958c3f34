// The calibration state files: what is written (windows-1251 on disk), reading it back into a
// fresh log, defaults for missing keys, and damaged files refused without changing anything.

#include <gtest/gtest.h>

#include "calibration/CalTables.h"
#include "platform/Codepage.h"
#include "support/TempDir.h"

namespace kvt {
namespace {

class TablesStateFile : public ::testing::Test {
 protected:
  void Log(TCalTables& t, int n) {
    for (int k = 1; k <= n; ++k) t.AppendShot(400 + k, 410 + k, 100 + k, 60 + k, 90 + k);
  }
  testsupport::TempDir dir;
  std::filesystem::path file = dir / "caltable.ini";
};

TEST_F(TablesStateFile, RoundTripInWindows1251) {
  TCalTables t;
  Log(t, 12);
  t.ShotsTable.SetCell(2, 12, "текст");  // whatever the engineer typed is kept as text
  ProcedureInfo info;
  info.Stage = 3;
  info.ShotCount = 99;  // K2 writes the log's own count
  info.StartUv = "60";
  info.FinishUv = "100";
  info.FirstInRange = 2;
  info.MiddleShot = 7;
  info.Direction = 1;
  info.CurrentCode = 70000;  // kept as the 16-bit value the code control holds
  ASSERT_TRUE(t.SaveProcedureState(file, info).ok);

  const std::string raw = testsupport::ReadBytes(file);
  EXPECT_FALSE(platform::LooksLikeUtf8(raw));
  EXPECT_NE(raw.find(platform::Utf8ToCp1251("[Информация]")), std::string::npos);
  EXPECT_NE(raw.find(platform::Utf8ToCp1251("Количество снимков=12")), std::string::npos);
  EXPECT_NE(raw.find(platform::Utf8ToCp1251("[Снимок12]")), std::string::npos);
  EXPECT_NE(raw.find(platform::Utf8ToCp1251("Текущее значение накала=4464")), std::string::npos);

  TCalTables u;
  ProcedureInfo back;
  ASSERT_TRUE(u.LoadProcedureState(file, back).ok);
  EXPECT_EQ(back.Stage, 3);
  EXPECT_EQ(back.ShotCount, 12);
  EXPECT_EQ(back.StartUv, "60");
  EXPECT_EQ(back.FinishUv, "100");
  EXPECT_EQ(back.FirstInRange, 2);
  EXPECT_EQ(back.MiddleShot, 7);
  EXPECT_EQ(back.Direction, 1);
  EXPECT_EQ(back.CurrentCode, 4464);
  ASSERT_EQ(u.ShotsTable.RowCount(), 14);
  for (int k = 1; k <= 12; ++k)
    for (int c = 0; c < 6; ++c) EXPECT_EQ(u.ShotsTable.Cell(c, k), t.ShotsTable.Cell(c, k));
  EXPECT_EQ(u.ShotsTable.Cell(0, 13), "");
  EXPECT_EQ(u.ShotsTable.Row(), 12);
}

TEST_F(TablesStateFile, ShorterRunOverAnOlderOneReadsOnlyItsShots) {
  TCalTables t;
  Log(t, 5);
  ASSERT_TRUE(t.SaveProcedureState(file, {}).ok);
  TCalTables second;
  Log(second, 2);
  second.ShotsTable.SetCell(3, 1, "777");
  ASSERT_TRUE(second.SaveProcedureState(file, {}).ok);

  TCalTables u;
  Log(u, 4);  // the present log: shrinks to the file's count and keeps its empty last row
  ProcedureInfo info;
  ASSERT_TRUE(u.LoadProcedureState(file, info).ok);
  EXPECT_EQ(u.LoggedShots(), 2);
  EXPECT_EQ(u.ShotsTable.Cell(3, 1), "777");
  EXPECT_EQ(u.ShotsTable.Cell(0, 3), "");
}

TEST_F(TablesStateFile, MissingKeysKeepThePresentValues) {
  testsupport::WriteBytes(file, platform::Utf8ToCp1251("[Информация]\r\nЭтап=4\r\n"
                                                       "Количество снимков=1\r\n"
                                                       "[Снимок1]\r\n0=1\r\n2=555\r\n"));
  TCalTables t;
  Log(t, 1);
  ProcedureInfo info;
  info.StartUv = "50";
  info.MiddleShot = 9;
  ASSERT_TRUE(t.LoadProcedureState(file, info).ok);
  EXPECT_EQ(info.Stage, 4);
  EXPECT_EQ(info.StartUv, "50");
  EXPECT_EQ(info.MiddleShot, 9);
  EXPECT_EQ(t.ShotsTable.Cell(2, 1), "555");
  EXPECT_EQ(t.ShotsTable.Cell(3, 1), "101");  // not in the file: kept
}

TEST_F(TablesStateFile, DamagedOrMissingFilesChangeNothing) {
  TCalTables t;
  Log(t, 3);
  ProcedureInfo info;
  info.Stage = 2;
  EXPECT_FALSE(t.LoadProcedureState(dir / "none.ini", info).ok);
  for (const char* count : {"-1", "2000000000"}) {
    testsupport::WriteBytes(file, platform::Utf8ToCp1251(std::string("[Информация]\r\nЭтап=3\r\n"
                                                                     "Количество снимков=") +
                                                         count + "\r\n"));
    auto r = t.LoadProcedureState(file, info);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.problem.empty());
  }
  testsupport::WriteBytes(file, platform::Utf8ToCp1251("[Информация]\r\nЭтап=9\r\n"));
  EXPECT_FALSE(t.LoadProcedureState(file, info).ok);
  EXPECT_EQ(info.Stage, 2);
  EXPECT_EQ(t.LoggedShots(), 3);
  EXPECT_EQ(t.ShotsTable.Cell(2, 3), "413");
}

TEST_F(TablesStateFile, K3KeysRoundTrip) {
  TCalTables t;
  Log(t, 3);
  ProcedureInfo info;
  info.Stage = 2;
  info.FirstPass = false;
  info.SecondPass = true;
  info.ShotCount = 3;
  info.FirstInRange = 1, info.MiddleShot = 2, info.LastShot = 3;
  info.FirstInRange1 = 4, info.MiddleShot1 = 5, info.LastShot1 = 6;
  const auto k3file = dir / "caltablek3.ini";
  ASSERT_TRUE(t.SaveProcedureState(k3file, info, true).ok);
  const std::string raw = platform::Cp1251ToUtf8(testsupport::ReadBytes(k3file));
  // Keys in the order the K3 file lists them.
  const char* order[] = {"Этап=",
                         "Признак характеристики1=0",
                         "Признак характеристики2=1",
                         "Количество снимков=3",
                         "Номер первого снимка в диапазоне1=1",
                         "Номер последнего снимка1=3",
                         "Номер первого снимка в диапазоне2=4",
                         "Номер последнего снимка2=6",
                         "Направление=",
                         "[Снимок3]"};
  std::size_t at = 0;
  for (const char* key : order) {
    const auto found = raw.find(key, at);
    ASSERT_NE(found, std::string::npos) << key;
    at = found;
  }
  TCalTables u;
  ProcedureInfo back;
  back.FirstPass = true;
  ASSERT_TRUE(u.LoadProcedureState(k3file, back, true).ok);
  EXPECT_FALSE(back.FirstPass);
  EXPECT_TRUE(back.SecondPass);
  EXPECT_EQ(back.LastShot, 3);
  EXPECT_EQ(back.MiddleShot1, 5);
  EXPECT_EQ(back.LastShot1, 6);
  EXPECT_EQ(u.LoggedShots(), 3);
}

}  // namespace
}  // namespace kvt
