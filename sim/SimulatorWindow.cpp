#include "sim/SimulatorWindow.h"

#include <cmath>
#include <cstdio>

#include "sim/Apparatus.h"
#include "sim/Physics.h"

namespace sim {
namespace {

// Numbers with a fixed count of decimals.
std::string Fixed(double v, int decimals) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string Hex2(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

}  // namespace

TfrmSimulator::TfrmSimulator(std::shared_ptr<Apparatus> apparatus)
    : platform::FormModel("frmSimulator"), apparatus_(std::move(apparatus)) {
  k4_ = apparatus_ && apparatus_->CurrentProfile().type == "K4";
  Form.SetCaption(std::string("Имитатор аппарата (") + kSimulatorShortcut + ")");
  gbState.SetCaption(" Аппарат ");
  gbPlant.SetCaption(" Установка ");
  gbFaults.SetCaption(" Неисправности ");
  lbMainsA.SetCaption(k4_ ? "Фаза A, В" : "Сеть, В");
  lbMainsB.SetCaption("Фаза B, В");
  lbMainsC.SetCaption("Фаза C, В");
  // Phases B and C exist on K4 only.
  platform::Control* k4Only[] = {&lbMainsB, &edMainsB, &udMainsB, &lbMainsC, &edMainsC, &udMainsC};
  for (platform::Control* c : k4Only) c->SetVisible(k4_);
  lbAgeing.SetCaption("Старение трубки, %");
  lbAlarmCode.SetCaption("Код аварии");
  btnAlarm.SetCaption("Авария сейчас");
  btnClearAlarm.SetCaption("Снять аварию");
  lbDead.SetCaption("Линия молчит, с");
  btnDead.SetCaption("Замолчать");
  edAlarmCode.SetText("05");
  lbStator.SetCaption("Статор");
  cbStator.SetDropDownList(true);
  cbStator.SetItems({"исправен", "обрыв обмотки", "замыкание обмотки", "ток вне диапазона"});
  cbStator.OnChange = [this] { cbStatorChange(); };

  platform::UpDown* mains[3] = {&udMainsA, &udMainsB, &udMainsC};
  platform::Edit* mainsEdits[3] = {&edMainsA, &edMainsB, &edMainsC};
  for (int i = 0; i < 3; ++i) {
    mains[i]->SetRange(0, 300);
    mains[i]->SetAssociate(mainsEdits[i]);
    mains[i]->OnChange = [this, i] { udMainsChange(i); };
  }
  udAgeing.SetRange(0, 50);
  udAgeing.SetAssociate(&edAgeing);
  udAgeing.OnChange = [this] { udAgeingChange(); };
  udDeadSeconds.SetRange(1, 600);
  udDeadSeconds.SetAssociate(&edDeadSeconds);
  udDeadSeconds.SetPosition(5);
  btnAlarm.OnClick = [this] { btnAlarmClick(); };
  btnClearAlarm.OnClick = [this] { btnClearAlarmClick(); };
  btnDead.OnClick = [this] { btnDeadClick(); };
  RefreshTimer.SetInterval(500);
  RefreshTimer.OnTimer = [this] { RefreshTimerTimer(); };
}

void TfrmSimulator::FormCreate() {
  if (!apparatus_) return;
  PlantSettings p = apparatus_->PlantNow();
  loading_ = true;
  udMainsA.SetPosition(static_cast<int>(std::lround(p.mainsVolts[0])));
  udMainsB.SetPosition(static_cast<int>(std::lround(p.mainsVolts[1])));
  udMainsC.SetPosition(static_cast<int>(std::lround(p.mainsVolts[2])));
  udAgeing.SetPosition(static_cast<int>(std::lround(p.tubeAgeing * 100)));
  cbStator.SetItemIndex(static_cast<int>(p.statorFault));
  loading_ = false;
  RefreshTimerTimer();
}

std::string TfrmSimulator::StateText(int s) {
  if (s >= 0x80) return "авария";
  switch (s) {
    case 0:
      return "выключен";
    case 1:
      return "включение";
    case 2:
      return "включен";
    case 4:
      return "прогрев накала";
    case 8:
      return "дежурный накал, готов";
    case 24:
      return "снимок подготовлен";
    case 72:
      return "снимок выполнен";
    case 73:
      return "ожидание подтверждения";
    default:
      break;
  }
  if (s >= 9 && s < 24) return "подготовка снимка";
  if (s > 24 && s < 72) return "экспозиция";
  return "состояние не из списка";
}

void TfrmSimulator::RefreshTimerTimer() {
  if (!apparatus_) return;
  Apparatus::Status st = apparatus_->StatusNow();
  std::string state = "Состояние: " + std::to_string(st.state) + " (0x" + Hex2(st.state) + ") " +
                      StateText(st.state);
  if (st.state >= 0x80) state += ", код 0x" + Hex2(st.alarmCode);
  lbState.SetCaption(state);
  static const char* const kDrive[] = {"стоит", "разгон", "торможение", "выбег", "дотормаживание"};
  // A K4 drive brakes on in state 3; the others use 4 for it.
  std::string drive = k4_ && st.driveState == 3 ? "дотормаживание"
                      : st.driveState <= 4      ? kDrive[st.driveState]
                      : st.driveState == 8      ? "режим достигнут"
                                                : "";
  lbDrive.SetCaption("Привод анода: " + std::to_string(st.driveState) + " " + drive);
  lbAnode.SetCaption(AnodeText(st.anodeSpeed, st.anodeStoppedAfterMs));
  if (silenceShown_ && !apparatus_->IsSilent()) {
    silenceShown_ = false;
    lbMessage.SetCaption("Линия снова отвечает");
  }
  lbFilament.SetCaption("Ток накала: " + Fixed(st.filamentPercent, 1) + " %");
  const long supply = std::lround(st.supply);
  lbSupply.SetCaption("Питание: " + std::to_string(supply) + " (" +
                      Fixed(std::trunc(supply * physics::kSupplyVoltsPerUnit), 0) + " В)");
  if (st.lastShot) {
    lbLastShot.SetCaption("Последний снимок: " + Fixed(st.lastShot->kv, 1) + " кВ, " +
                          Fixed(st.lastShot->ma, 1) + " мА, " +
                          Fixed(st.lastShot->durationMs / 1000.0, 2) + " с");
  } else {
    lbLastShot.SetCaption("Последний снимок: нет");
  }
}

std::string TfrmSimulator::AnodeText(double speedPercent, int stoppedAfterMs) {
  std::string text = speedPercent > 0 ? "Анод: " : "Анод стоит";
  if (speedPercent > 0) {
    text += Fixed(speedPercent, 0);
    text += " % оборотов";
  } else if (stoppedAfterMs >= 0) {
    std::string seconds = Fixed(stoppedAfterMs / 1000.0, 1);
    for (char& c : seconds)
      if (c == '.') c = ',';
    text += ": анод остановился через ";
    text += seconds;
    text += " с";
  }
  return text;
}

void TfrmSimulator::udMainsChange(int phase) {
  if (loading_ || !apparatus_) return;
  const platform::UpDown* ud[3] = {&udMainsA, &udMainsB, &udMainsC};
  apparatus_->SetPhaseVolts(phase, ud[phase]->Position());
  const std::string what = k4_ ? std::string("Фаза ") + static_cast<char>('A' + phase) : "Сеть";
  lbMessage.SetCaption(what + ": " + std::to_string(ud[phase]->Position()) + " В");
  RefreshTimerTimer();
}

void TfrmSimulator::udAgeingChange() {
  if (loading_ || !apparatus_) return;
  PlantSettings p = apparatus_->PlantNow();
  p.tubeAgeing = udAgeing.Position() / 100.0;
  apparatus_->SetPlant(p);
  lbMessage.SetCaption("Старение трубки: " + std::to_string(udAgeing.Position()) + " %");
}

void TfrmSimulator::btnAlarmClick() {
  if (!apparatus_) return;
  unsigned code = 0;
  char tail = 0;
  const std::string& t = edAlarmCode.Text();
  if (t.empty() || t.size() > 2 || std::sscanf(t.c_str(), "%x%c", &code, &tail) != 1 || code == 0) {
    lbMessage.SetCaption("Код аварии: две шестнадцатеричные цифры, от 01 до FF");
    return;
  }
  apparatus_->RaiseAlarm(static_cast<std::uint8_t>(code));
  lbMessage.SetCaption("Авария с кодом 0x" + Hex2(static_cast<int>(code)));
  RefreshTimerTimer();
}

void TfrmSimulator::btnClearAlarmClick() {
  if (!apparatus_) return;
  apparatus_->ClearAlarm();
  lbMessage.SetCaption("Авария снята");
  RefreshTimerTimer();
}

void TfrmSimulator::cbStatorChange() {
  if (loading_ || !apparatus_ || cbStator.ItemIndex() < 0) return;
  PlantSettings p = apparatus_->PlantNow();
  p.statorFault = static_cast<PlantSettings::StatorFault>(cbStator.ItemIndex());
  apparatus_->SetPlant(p);
  lbMessage.SetCaption("Статор: " + cbStator.Text());
}

void TfrmSimulator::btnDeadClick() {
  if (!apparatus_) return;
  apparatus_->GoSilentFor(udDeadSeconds.Position() * 1000);
  lbMessage.SetCaption("Линия молчит " + std::to_string(udDeadSeconds.Position()) + " с");
  silenceShown_ = true;
}

}  // namespace sim
