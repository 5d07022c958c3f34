#include "image/Options.h"

#include <string>

#include "image/Settings.h"
#include "platform/Ini.h"
#include "platform/Paths.h"
#include "platform/Ui.h"

namespace kvt {

TfrmOptions::TfrmOptions(TfrmSelectDir& selectDir)
    : SettingsPath(platform::SettingsPath()), selectDir_(selectDir) {
  Form.SetCaption("Опции");
  GroupBox1.SetCaption(" Настройка путей ");
  Label1.SetCaption("Файлы настроек системы:");
  Button1.SetCaption("Обзор");
  Label2.SetCaption("Минимальное время между снимками:");
  udSSTime.SetAssociate(&edSSTime);
  udSSTime.SetRange(1, 60);
  udSSTime.SetPosition(60);
  Label3.SetCaption("с. (1 ... 60)");
  DigOscTools.SetCaption("Выводить панель образцового измерителя напряжений");
  BitBtn1.SetCaption("OK");
  BitBtn2.SetCaption("Cancel");
  Button1.OnClick = [this] { Button1Click(); };
  BitBtn1.OnClick = [this] { BitBtn1Click(); };
  BitBtn2.OnClick = [this] { BitBtn2Click(); };
}

void TfrmOptions::FormShow() {
  // Only this window shows the program's own folder for a missing key; the file dialogs use
  // the general default.
  edMiPath.SetText(settings::ReadImageDir(SettingsPath, platform::ProgramDir()));
  lbSSTimeRefused.SetCaption("");
  DigOscTools.SetChecked(settings::ReadDigOscTools(SettingsPath) != 0);
  udSSTime.SetPosition(settings::ReadSnapshotTimeout(SettingsPath));
}

void TfrmOptions::Button1Click() {
  // The chooser starts in the folder shown here.
  if (!edMiPath.Text().empty()) selectDir_.SetDirectory(edMiPath.Text());
  selectDir_.GroupBox1.SetCaption(selectDir_.Directory());
  if (selectDir_.Execute()) edMiPath.SetText(selectDir_.Directory());
}

void TfrmOptions::BitBtn1Click() {
  const bool ok = settings::WriteOptions(edMiPath.Text(), DigOscTools.Checked() ? 1 : 0,
                                         udSSTime.Position(), SettingsPath);
  const std::string dir = settings::ReadImageDir(SettingsPath, platform::ProgramDir());
  if (SetImageDir) SetImageDir(dir);
  if (!ok)
    platform::ShowMessage("Не удалось записать настройки в файл " + SettingsPath.string() + ".", "",
                          platform::Icon::Error);
  Close();
}

void TfrmOptions::edSSTimeTyped(const std::string& text) {
  const int min = udSSTime.Min(), max = udSSTime.Max();
  int value = -1;
  bool number = !text.empty() && text.size() <= 6;
  for (char c : text) number = number && c >= '0' && c <= '9';
  if (number) value = std::stoi(text);
  // An empty field is still being typed; a value out of range is not taken, and the field
  // falls back to the last one taken when it is left: say so instead of doing it silently.
  if (text.empty() || (number && value >= min && value <= max)) {
    lbSSTimeRefused.SetCaption("");
    return;
  }
  lbSSTimeRefused.SetCaption("Время «" + text + "» не принимается: от " + std::to_string(min) +
                             " до " + std::to_string(max) + " с. Остаётся " +
                             std::to_string(udSSTime.Position()) + " с.");
}

void TfrmOptions::BitBtn2Click() {
  Close();
}

void TfrmOptions::Close() {
  if (OnClose) OnClose();
}

void TfrmOptions::ShowModal() {
  FormShow();
  if (runner_) runner_(*this);
}

}  // namespace kvt
