#include "calibration/CalProcedureK3.h"

#include <algorithm>

#include "exposure/DefineCurrent.h"
#include "exposure/FilamentShot.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"

namespace kvt {

namespace calmsg {
const char* const kInitialCodeUpper =
    "\nРасчитан код накала, который при существующей калибровочной таблице соответствует "
    "максимальному напряжению заданного диапазона калибровки.\nЕсли Вы не видите необходимости "
    "в его изменении,\nнажмите кнопку <Выполнить> на панели <Снимок>.";
}  // namespace calmsg

namespace {

constexpr std::uint8_t kMeasuredVoltageVariable = 0x38;
// The search moves the code by this much while the current lies outside the header currents.
constexpr int kSearchMove = 50;
// The exposure time of the parameter set, 0.01 s.
constexpr int kParameterTime = 6;

constexpr const char* kBelowBand =
    "\nАнодный ток снимка меньше первого тока калибровочной таблицы.\nКод накала "
    "изменен.\nДля продолжения калибровки нажмите кнопку <Выполнить>.";
constexpr const char* kAboveBand =
    "\nАнодный ток снимка больше последнего тока калибровочной таблицы.\nКод накала "
    "изменен.\nДля продолжения калибровки нажмите кнопку <Выполнить>.";
constexpr const char* kInBand =
    "\nАнодный ток снимка лег в диапазон токов калибровочной таблицы.\nДля продолжения "
    "калибровки необходимо выполнить серию снимков,\nс интервалом не менее 30с. Вы можете "
    "сделать это пошагово,\nиспользуя кнопку <Выполнить>, или провести процедуру "
    "автоматически,\nнажав кнопку <Включить> на панели <Автоматически>.";
constexpr const char* kNoReading =
    "\nАнодный ток снимка не определен: снимок не учтен.\nДля повторения снимка нажмите кнопку "
    "<Выполнить>.";
constexpr const char* kNoVoltage =
    "\nСистема не ответила на запрос измеренного анодного напряжения: снимок не учтен.\nДля "
    "повторения снимка нажмите кнопку <Выполнить>.";
constexpr const char* kRefused =
    "\nПараметры снимка не приняты системой.\nДля повторения нажмите кнопку <Выполнить>.";
constexpr const char* kQuestionTitle = "Калибровка";

}  // namespace

TCalProcedureK3::TCalProcedureK3(CalState& state, TCalLock& lock, TCalHost& host,
                                 platform::ThreadPriority priority, int maxCode)
    : TCalWorker(state, lock, host, priority),
      maxCode_(std::clamp(maxCode, 0, kMaxFilamentCodeK3)) {
  StateFile = TCalTables::StateFilePath(true);
}

TCalProcedureK3::~TCalProcedureK3() {
  // The walk uses this object's members: it must end before they go.
  Stop();
  WaitFor();
}

void TCalProcedureK3::Execute() {
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    snapshot_ = std::make_unique<TSnapshot>(true, Timing.shotLimits);
  }
  std::optional<std::vector<int>> header;
  OnUi([&] { header = host_.Tables().HeaderCurrents(); });
  if (header && !header->empty()) {
    i1_ = header->front();
    i8_ = header->back();
  }
  TCalWorker::Execute();
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  snapshot_.reset();
}

void TCalProcedureK3::NoReading() {
  // An exposure nobody has read is no step of the procedure: the engineer repeats it.
  Message(kNoReading);
  StopAutoMode();
}

std::optional<int> TCalProcedureK3::DetermineCurrent(const std::vector<int>& signedSamples) {
  CurvePoints curve;
  for (std::size_t k = 0; 2 * k + 1 < signedSamples.size(); ++k)
    curve.emplace_back(0.1 * double(k), signedSamples[2 * k + 1]);
  for (;;) {
    const auto value = DetermineValue(DefineMode::Current, curve, platform::colors::Lime);
    if (!value) return std::nullopt;
    if (i1_ >= i8_ || (*value >= i1_ && *value <= i8_)) return value;
    // Beyond the table's currents the value moves the search by a large step or ends a sweep:
    // a misplaced line must not do that unnoticed.
    const std::string question =
        "Определенный анодный ток " + std::to_string(*value) +
        " мА лежит вне диапазона токов калибровочной таблицы (" + std::to_string(i1_) + " - " +
        std::to_string(i8_) + " мА).\nИспользовать это значение?\n(\"Нет\" - определить ток снова)";
    if (platform::AskYesNo(question, kQuestionTitle)) return value;
  }
}

std::optional<TCalProcedureK3::ReadShot> TCalProcedureK3::MakeCalibrationShotK3(int code) {
  auto shot = Expose(code);
  if (!shot->Ok) return std::nullopt;

  // The curves are the longest exchange of a step; nothing else of this worker may hold it up.
  SetPriority(platform::ThreadPriority::TimeCritical);
  TSystemLink link;
  const std::vector<int> absolute = link.ReadLastShotCurves(nullptr, true);
  const std::vector<int> signedSamples = link.ReadLastShotCurves(nullptr, false);
  SetPriority(basePriority_);
  OnUi([&] { host_.ShowCurves(absolute); });

  const auto current = DetermineCurrent(signedSamples);
  if (!current) {
    NoReading();
    return std::nullopt;
  }
  state_.DeterminedCurrent = *current;

  const Frame f = frames::ReadVariable(kMeasuredVoltageVariable);
  link.Write(std::uint32_t(f.Size()), f.bytes.data());
  link.Read(3);
  if (link.LastCount() < 3) {
    Message(kNoVoltage);
    StopAutoMode();
    return std::nullopt;
  }
  const int uv = link.RxBuffer()[2];

  const int number = ++state_.ShotCount;
  ShotRow row{number, 0, shot->In, *current, uv, 0};
  OnUi([&] {
    host_.Tables().AppendShot(0, row.Code, row.Ia, row.Uv, 0);
    host_.ShotLogged(row);
  });
  const ReadShot read{shot->In, *current};
  NoteReading(read);
  return read;
}

void TCalProcedureK3::NoteReading(const ReadShot& shot) {
  if (previous_ && shot.code > previous_->code && shot.current <= previous_->current)
    ++flatShots_;
  else
    flatShots_ = 0;
  previous_ = shot;
  saturated_ = shot.current >= TfrmDefineCurrent::kMaxCurrent || flatShots_ >= kFlatShots;
}

std::string TCalProcedureK3::SaturationText() const {
  if (!saturated_ || !previous_) return {};
  std::string text = "\nАнодный ток снимка ";
  text += std::to_string(state_.ShotCount.load());
  text += " (";
  text += std::to_string(previous_->current);
  if (previous_->current >= TfrmDefineCurrent::kMaxCurrent) {
    text += " мА) равен наибольшему току, который можно определить по осциллограмме (";
    text += std::to_string(TfrmDefineCurrent::kMaxCurrent);
    text += " мА): больший ток не виден.";
  } else {
    text += " мА) не растет: ";
    text += std::to_string(kFlatShots);
    text += " снимка подряд с большим кодом накала не показали большего тока.";
  }
  text += "\nКод накала не увеличен.";
  return text;
}

void TCalProcedureK3::MessageWithNote(const std::string& text) {
  std::string shown = text;
  shown += note_;
  Message(shown);
  note_.clear();
}

void TCalProcedureK3::EndOnSaturation(int count) {
  // The shots that could not show the current grow are left out of the characteristic: after a
  // flat run it ends on the shot before the run, after a reading at the dialog's limit on the
  // shot before that one (the selection drops a last shot that missed the last current).
  const int last = flatShots_ >= kFlatShots ? count - flatShots_ + 1 : count;
  note_ = SaturationText();
  note_ += "\nХарактеристика при ";
  note_ += std::to_string(state_.PassVoltage.load());
  note_ += " кВ закончена на токе, который еще можно определить.";
  Message(note_);
  EndCharacteristic(last);
}

void TCalProcedureK3::InitialCode() {
  const auto range = ReadRange();
  if (!range) return;
  if (i1_ <= 0 || i8_ <= i1_) {
    Message(
        "\nЗаголовок исходной калибровочной таблицы не содержит возрастающих токов: "
        "калибровка невозможна.");
    StopAutoMode();
    return;
  }
  int code = -1;
  std::string problem;
  if (state_.FirstPass) {
    state_.PassVoltage = range->StartUv;
    OnUi([&] { host_.RangeLocked(); });
    const int target = state_.TargetCurrent;
    OnUi([&] { code = host_.Tables().TableCode(range->StartUv, target); });
    if (code < 0 || code > MaxCode())
      problem = "\nИсходная калибровочная таблица не дает кода накала для " +
                std::to_string(range->StartUv) + " кВ и " + std::to_string(target) +
                " мА.\nЗадайте код накала на панели <Код накала> и нажмите кнопку <Выполнить>.";
  } else {
    state_.PassVoltage = range->FinishUv;
    std::optional<ShotRow> middle;
    const int k = state_.MiddleShot1;
    OnUi([&] { middle = host_.Tables().ReadShotRow(k); });
    if (middle) code = middle->Code;
    if (!middle || code < 0 || code > MaxCode())
      problem = "\nВ журнале снимков нет кода накала среднего снимка " + std::to_string(k) +
                " первой характеристики.\nЗадайте код накала на панели <Код накала> и нажмите "
                "кнопку <Выполнить>.";
  }
  if (problem.empty()) OnUi([&] { host_.SetCode(code); });
  state_.Stage = 2;
  SaveProcedureState();
  if (!problem.empty()) {
    MessageWithNote(problem);
    // An exposure by a code nobody chose must wait for the engineer.
    StopAutoMode();
    return;
  }
  MessageWithNote(state_.FirstPass ? calmsg::kInitialCode : calmsg::kInitialCodeUpper);
}

void TCalProcedureK3::SearchRange() {
  int code = 0, step = 1;
  if (!ReadCode(code, step)) return;
  // The lock is held through the pause as well: the tube cools before anyone else exposes.
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  if (!snapshot_->AcceptSnapshotParameters(state_.PassVoltage, state_.TargetCurrent, kParameterTime,
                                           true)) {
    // The parameters' own message has told why; repeating it automatically would only repeat it.
    Message(kRefused);
    StopAutoMode();
    return;
  }
  const auto shot = MakeCalibrationShotK3(code);
  if (!shot) return;
  const int current = shot->current;
  if (saturated_ && current <= i1_) {
    // The search would raise the code on a reading that can no longer grow.
    std::string text = SaturationText();
    text +=
        "\nПроверьте систему и осциллограмму снимка или задайте код накала на панели <Код "
        "накала>.";
    Message(text);
    StopAutoMode();
  } else if (current < i1_) {
    Message(kBelowBand);
    MoveCode(code + kSearchMove, shot->code);
  } else if (current > i8_) {
    Message(kAboveBand);
    MoveCode(code - kSearchMove, shot->code);
  } else {
    Message(kInBand);
    state_.FirstInRange = state_.ShotCount.load();
    if (current == i1_) {
      state_.Direction = 1;
      state_.MiddleShot = state_.FirstInRange.load();
      MoveCode(shot->code + step, shot->code);
    } else {
      state_.Direction = 0;
      MoveCode(shot->code - step, shot->code);
    }
    state_.Stage = 3;
  }
  SaveProcedureState();
  WaitBetweenShots(PauseMs());
}

void TCalProcedureK3::Series() {
  Message(calmsg::kSeries);
  const int direction = state_.Direction;
  if (direction != 0 && direction != 1) return;
  int code = 0, step = 1;
  if (!ReadCode(code, step)) return;
  std::optional<ReadShot> shot;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    shot = MakeCalibrationShotK3(code);
  }
  if (!shot) return;
  const int count = state_.ShotCount;
  if (direction == 0) {
    if (shot->current > i1_) {
      MoveCode(shot->code - step, shot->code);
    } else if (saturated_) {
      // The upward sweep would start by a larger code on a reading that cannot grow.
      Message(SaturationText());
      StopAutoMode();
      return;
    } else {
      // The upward sweep (the code grows) starts one step beyond the first shot in the band.
      StartUpwardSweep(count, shot->code, step);
    }
    SaveProcedureState();
    WaitBetweenShots(PauseMs());
    return;
  }
  if (shot->current < i8_) {
    if (saturated_) {
      EndOnSaturation(count);
      return;
    }
    MoveCode(shot->code + step, shot->code);
    WaitBetweenShots(PauseMs());
    return;
  }
  EndCharacteristic(count);
}

void TCalProcedureK3::EndCharacteristic(int last) {
  state_.LastShot = last;
  if (state_.FirstPass) {
    // The first characteristic is complete; the second, at the upper bound, starts at once.
    state_.FirstPass = false;
    state_.SecondPass = true;
    state_.FirstInRange1 = state_.FirstInRange.load();
    state_.MiddleShot1 = state_.MiddleShot.load();
    state_.LastShot1 = state_.LastShot.load();
    state_.FirstInRange = 0;
    state_.MiddleShot = 0;
    state_.LastShot = 0;
    state_.Stage = 1;
  } else {
    state_.SecondPass = false;
    state_.Stage = 4;
    OnUi([&] { host_.SeriesEnded(); });
  }
  SaveProcedureState();
  lock_.Request(state_);
}

void TCalProcedureK3::ComputeTables() {
  const auto range = ReadRange();
  if (!range) return;
  const SweepShots first{state_.FirstInRange1, state_.MiddleShot1, state_.LastShot1};
  const SweepShots second{state_.FirstInRange, state_.MiddleShot, state_.LastShot};
  CalResult result;
  std::vector<int> kept;
  OnUi([&] { result = host_.Tables().ComputeCalibrationTableK3(*range, first, second, &kept); });
  if (!result) {
    // The stage stays: after the log is mended (or a state file loaded) a request computes again.
    MessageWithNote("\nНовая калибровочная таблица не расчитана.\n" + result.problem);
    StopAutoMode();
    return;
  }
  OnUi([&] { host_.TablesComputed({}); });
  std::string text = calmsg::kComputed;
  if (!kept.empty()) {
    std::string currents;
    for (int ma : kept) currents += (currents.empty() ? "" : ", ") + std::to_string(ma);
    text += "\nСтолбцы токов " + currents +
            " мА оставлены без изменений: их коды на границах диапазона равны.";
  }
  MessageWithNote(text);
  SaveProcedureState();
  state_.Stage = 5;
  StopAutoMode();
}

}  // namespace kvt
