#include "image/Options.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "image/Settings.h"
#include "platform/Files.h"
#include "platform/Ini.h"
#include "platform/Paths.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

constexpr const char* kPortsSection = "Ports";

bool SameTarget(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trimmed(std::string s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && blank(s[b])) ++b;
  return s.substr(b);
}

}  // namespace

PortsPage::PortsPage() {
  for (int i = 0; i < kPorts; ++i) {
    lbPort[i].SetCaption("COM" + std::to_string(i + 1) + ":");
    cbPort[i].SetDropDownList(true);
  }
  lbHint.SetWordWrap(true);
  lbHint.SetCaption(kHint);
}

std::string PortsPage::DeviceText(const platform::SerialDevice& d) {
  std::string about;
  const auto add = [&about](const std::string& part) {
    if (part.empty()) return;
    if (!about.empty()) about += ' ';
    about += part;
  };
  add(d.manufacturer);
  add(d.product);
  if (!d.serialNumber.empty()) add("№ " + d.serialNumber);
  if (about.empty()) add(d.description);
  std::string text = d.path;
  if (!about.empty() && about != d.path) {
    text += " — ";
    text += about;
  }
  return text;
}

void PortsPage::Load(const std::filesystem::path& settings) {
  std::vector<std::string> items{kNothing, kSimulator};
  targets_ = {"", platform::kSimulatorTarget};
  for (const auto& d : ListDevices ? ListDevices() : std::vector<platform::SerialDevice>{}) {
    if (d.path.empty()) continue;
    items.push_back(DeviceText(d));
    targets_.push_back(d.path);
  }
  platform::IniFile ini(settings);
  std::array<std::string, kPorts> mapped;
  for (int i = 0; i < kPorts; ++i) {
    mapped[i] = Trimmed(ini.ReadString(kPortsSection, "COM" + std::to_string(i + 1), ""));
    const auto known = std::find_if(targets_.begin(), targets_.end(),
                                    [&](const std::string& t) { return SameTarget(t, mapped[i]); });
    if (known == targets_.end()) {
      items.push_back(mapped[i] + kUnplugged);
      targets_.push_back(mapped[i]);
    }
  }
  for (int i = 0; i < kPorts; ++i) {
    cbPort[i].SetItems(items);
    const auto at = std::find_if(targets_.begin(), targets_.end(),
                                 [&](const std::string& t) { return SameTarget(t, mapped[i]); });
    cbPort[i].SetItemIndex(static_cast<int>(at - targets_.begin()));
  }
}

std::string PortsPage::Target(int port) const {
  const int index = cbPort[port].ItemIndex();
  return index >= 0 && index < static_cast<int>(targets_.size()) ? targets_[index] : std::string();
}

bool PortsPage::Store(const std::filesystem::path& settings) const {
  // The four keys are written into a scratch copy, which then replaces the file in one rename: a
  // connection never reads a half-changed map, and a failure leaves the old file as it was.
  if (targets_.empty()) return true;  // never shown: nothing chosen, the map stays
  const auto bytes = platform::ReadBinaryFile(settings);
  if (!bytes) return false;
  std::filesystem::path scratch = settings;
  scratch += ".ports.tmp";
  bool ok = platform::WriteFileAtomic(scratch, *bytes);
  platform::IniFile copy(scratch);
  for (int i = 0; ok && i < kPorts; ++i)
    ok = copy.WriteString(kPortsSection, "COM" + std::to_string(i + 1), Target(i));
  const auto changed = ok ? platform::ReadBinaryFile(scratch) : std::nullopt;
  ok = changed && platform::WriteFileAtomic(settings, *changed);
  std::error_code ec;
  if (std::filesystem::is_regular_file(scratch, ec)) std::filesystem::remove(scratch, ec);
  return ok;
}

TfrmOptions::TfrmOptions(TfrmSelectDir& selectDir)
    : platform::FormModel("frmOptions"),
      SettingsPath(platform::SettingsPath()),
      selectDir_(selectDir) {
  Form.SetCaption("Опции");
  pgOptions.AddPage("tsGeneral", "Общие");
  pgOptions.AddPage("tsPorts", "Порты");
  pgOptions.SetActivePageIndex(0);
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
  Ports.Load(SettingsPath);
}

void TfrmOptions::Button1Click() {
  // The chooser starts in the folder shown here.
  if (!edMiPath.Text().empty()) selectDir_.SetDirectory(edMiPath.Text());
  selectDir_.GroupBox1.SetCaption(selectDir_.Directory());
  if (selectDir_.Execute()) edMiPath.SetText(selectDir_.Directory());
}

void TfrmOptions::BitBtn1Click() {
  bool ok = settings::WriteOptions(edMiPath.Text(), DigOscTools.Checked() ? 1 : 0,
                                   udSSTime.Position(), SettingsPath);
  const std::string dir = settings::ReadImageDir(SettingsPath, platform::ProgramDir());
  if (SetImageDir) SetImageDir(dir);
  ok = Ports.Store(SettingsPath) && ok;
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
