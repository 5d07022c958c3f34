// The calibration state files "caltable.ini" (K2) and "caltablek3.ini" (K3, K4): the procedure's
// position and the shot log, so an interrupted calibration can go on later.

#include <algorithm>
#include <cstdint>
#include <system_error>

#include "calibration/CalTables.h"
#include "platform/Ini.h"
#include "platform/Paths.h"

namespace kvt {

namespace {

constexpr const char* kInfo = "Информация";
constexpr const char* kStage = "Этап";
constexpr const char* kShotCount = "Количество снимков";
constexpr const char* kFinish = "Верхнее Ua";
constexpr const char* kStart = "Нижнее Ua";
constexpr const char* kFirst = "Номер первого снимка в диапазоне";
constexpr const char* kMiddle = "Номер среднего снимка";
constexpr const char* kLast = "Номер последнего снимка";
constexpr const char* kDirection = "Направление";
constexpr const char* kCode = "Текущее значение накала";
constexpr const char* kPass1 = "Признак характеристики1";
constexpr const char* kPass2 = "Признак характеристики2";
// K2: the first shot of the grid sweep (0: none). Written every time, so that a file kept from
// an earlier run with a grid sweep does not lend its number to a run without one.
constexpr const char* kGridFirst = "Номер первого снимка сетки";

std::string ShotSection(int k) {
  return "Снимок" + std::to_string(k);
}

}  // namespace

std::filesystem::path TCalTables::StateFilePath(bool k3) {
  return platform::ProgramDir() / (k3 ? caltext::kStateFileK3 : caltext::kStateFile);
}

platform::IniEdit TCalTables::ProcedureStateEdit(const std::filesystem::path& path,
                                                 const ProcedureInfo& info, bool k3) const {
  platform::IniEdit ini(path);
  auto put = [&](const std::string& section, const std::string& key, const std::string& value) {
    ini.WriteString(section, key, value);
  };
  auto putInt = [&](const std::string& key, int value) { put(kInfo, key, std::to_string(value)); };
  putInt(kStage, info.Stage);
  if (k3) {
    putInt(kPass1, info.FirstPass ? 1 : 0);
    putInt(kPass2, info.SecondPass ? 1 : 0);
    putInt(kShotCount, info.ShotCount);
  } else {
    putInt(kShotCount, LoggedShots());
  }
  put(kInfo, kFinish, info.FinishUv);
  put(kInfo, kStart, info.StartUv);
  if (k3) {
    putInt(std::string(kFirst) + "1", info.FirstInRange);
    putInt(std::string(kMiddle) + "1", info.MiddleShot);
    putInt(std::string(kLast) + "1", info.LastShot);
    putInt(std::string(kFirst) + "2", info.FirstInRange1);
    putInt(std::string(kMiddle) + "2", info.MiddleShot1);
    putInt(std::string(kLast) + "2", info.LastShot1);
  } else {
    putInt(kFirst, info.FirstInRange);
    putInt(kMiddle, info.MiddleShot);
  }
  putInt(kDirection, info.Direction);
  putInt(kCode, std::int16_t(info.CurrentCode));
  if (!k3) putInt(kGridFirst, info.GridFirst);
  for (int k = 1; k <= LoggedShots(); ++k)
    for (int c = 0; c < 6; ++c) put(ShotSection(k), std::to_string(c), ShotsTable.Cell(c, k));
  return ini;
}

CalResult TCalTables::CommitProcedureState(platform::IniEdit& edit) {
  if (!edit.Commit()) return CalResult::Fail("Не удалось записать файл\n" + edit.Path().string());
  return {};
}

CalResult TCalTables::SaveProcedureState(const std::filesystem::path& path,
                                         const ProcedureInfo& info, bool k3) {
  auto edit = ProcedureStateEdit(path, info, k3);
  return CommitProcedureState(edit);
}

CalResult TCalTables::LoadProcedureInfo(const std::filesystem::path& path, ProcedureInfo& info,
                                        bool k3) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec))
    return CalResult::Fail("Не найден файл " + path.string());
  const platform::IniFile ini(path);
  ProcedureInfo v = info;
  auto get = [&](const char* key, int def) { return ini.ReadInteger(kInfo, key, def); };
  v.Stage = get(kStage, v.Stage);
  if (k3) {
    v.FirstPass = get(kPass1, v.FirstPass ? 1 : 0) != 0;
    v.SecondPass = get(kPass2, v.SecondPass ? 1 : 0) != 0;
    v.ShotCount = get(kShotCount, v.ShotCount);
  } else {
    v.ShotCount = get(kShotCount, LoggedShots());
  }
  if (v.ShotCount < 0 || v.ShotCount > kMaxLoggedShots)
    return CalResult::Fail("Файл " + path.string() + " повреждён: количество снимков " +
                           std::to_string(v.ShotCount) + ".\nТаблица не загружена.");
  // Stage 6 is the grid sweep of type K2.
  if (v.Stage < 0 || v.Stage > (k3 ? 5 : 6))
    return CalResult::Fail("Файл " + path.string() + " повреждён: этап " + std::to_string(v.Stage) +
                           ".\nТаблица не загружена.");
  v.FinishUv = ini.ReadString(kInfo, kFinish, v.FinishUv);
  v.StartUv = ini.ReadString(kInfo, kStart, v.StartUv);
  if (k3) {
    v.FirstInRange = get((std::string(kFirst) + "1").c_str(), v.FirstInRange);
    v.MiddleShot = get((std::string(kMiddle) + "1").c_str(), v.MiddleShot);
    v.LastShot = get((std::string(kLast) + "1").c_str(), v.LastShot);
    v.FirstInRange1 = get((std::string(kFirst) + "2").c_str(), v.FirstInRange1);
    v.MiddleShot1 = get((std::string(kMiddle) + "2").c_str(), v.MiddleShot1);
    v.LastShot1 = get((std::string(kLast) + "2").c_str(), v.LastShot1);
  } else {
    v.FirstInRange = get(kFirst, v.FirstInRange);
    v.MiddleShot = get(kMiddle, v.MiddleShot);
  }
  v.Direction = get(kDirection, v.Direction);
  v.CurrentCode = get(kCode, v.CurrentCode);
  // A file without the key comes from a run without a grid sweep.
  if (!k3) v.GridFirst = std::max(0, get(kGridFirst, 0));
  info = v;

  // The log keeps its trailing empty row; rows that were there before keep their text until the
  // shot sections replace it.
  ShotsTable.BeginUpdate();
  ShotsTable.SetRowCount(info.ShotCount + 2);
  for (int c = 0; c < 6; ++c) ShotsTable.SetCell(c, info.ShotCount + 1, "");
  ShotsTable.EndUpdate();
  return {};
}

void TCalTables::LoadShotRows(const std::filesystem::path& path) {
  const platform::IniFile ini(path);
  ShotsTable.BeginUpdate();
  for (int k = 1; k <= LoggedShots(); ++k) {
    const std::string section = ShotSection(k);
    for (int c = 0; c < 6; ++c)
      ShotsTable.SetCell(c, k, ini.ReadString(section, std::to_string(c), ShotsTable.Cell(c, k)));
  }
  ShotsTable.EndUpdate();
  if (LoggedShots() > 0) ShotsTable.SelectCell(ShotsTable.Col(), LoggedShots());
}

CalResult TCalTables::LoadProcedureState(const std::filesystem::path& path, ProcedureInfo& info,
                                         bool k3) {
  if (auto r = LoadProcedureInfo(path, info, k3); !r) return r;
  LoadShotRows(path);
  return {};
}

}  // namespace kvt
