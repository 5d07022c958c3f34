#include "app/AdjConnInfo.h"

#include <array>
#include <cstdio>

#include "link/BankList.h"
#include "link/PortProbe.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/Codepage.h"
#include "platform/Ini.h"
#include "platform/Paths.h"
#include "platform/SerialPort.h"

namespace kvt {

namespace {

// A table of three columns under a fixed header row.
struct Column {
  int width;
  const char* header;
};
void SetColumns(platform::StringGrid& grid, const std::array<Column, 3>& columns) {
  grid.SetFixedRows(1);
  for (int c = 0; c < 3; ++c) {
    grid.SetColWidth(c, columns[c].width);
    grid.SetCell(c, 0, columns[c].header);
  }
}

std::string PageSection(int page) {
  return "Page" + std::to_string(page);
}

platform::IniFile Settings() {
  return platform::IniFile(platform::SettingsPath());
}

std::string ModuleName(int code) {
  return Settings().ReadString(kModulesSection, std::to_string(code), kUnknownModule);
}

std::string JoinNumbers(const std::vector<int>& numbers) {
  std::string text;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i) text += ',';
    text += std::to_string(numbers[i]);
  }
  return text;
}

}  // namespace

TfrmAdjustConnectionInfo::TfrmAdjustConnectionInfo(MainHost* host)
    : openMark_(host, ToolWindow::ConnectionInfo) {
  Self.SetCaption("Настройка связи с системой");

  Panel1.SetBackgroundColor(platform::colors::Silver);
  Label2.SetAlignment(platform::Alignment::Center);
  Label2.SetFont(platform::Font{platform::colors::Navy, 0, true});
  Label2.SetBackgroundColor(platform::colors::Silver);

  GroupBox3.SetCaption(" Состав системы: ");
  SetColumns(
      ModulesTable,
      {{{59, "  Стр."}, {376, "                       Наименование модуля"}, {80, "   Код"}}});

  GroupBox2.SetCaption(" Результаты проверки контрольных сумм: ");
  GroupBox2.SetVisible(false);
  SetColumns(
      StringGrid1,
      {{{59, " N банка"}, {376, "                               Результат"}, {81, "    КС"}}});

  ConclusionBox.SetCaption(" Вывод ");
  lbConclusion.SetWordWrap(true);
  lbConclusion.SetFont(platform::Font{platform::colors::Red, 0, true});
  lbConclusion.SetBackgroundColor(platform::colors::Black);
}

TfrmAdjustConnectionInfo::~TfrmAdjustConnectionInfo() = default;

std::string MainWindowTitle(const std::string& base, const std::string& port, bool simulator) {
  std::string title = base;
  if (port.empty()) return title;
  title += " — ";
  title += port;
  if (simulator) title += kSimulatorMark;
  return title;
}

std::string TfrmAdjustConnectionInfo::FindPort() {
  triedPorts_.clear();
  const std::string name = ProbeMainControllerPort(ProbeScope::AnyComWhenOffered, &triedPorts_);
  if (name.empty()) return name;
  SystemStatus().LinkUp = true;
  // Nothing else on the screen tells a trainee's simulator from the apparatus on the cable.
  std::string line = "Последовательный порт " + name;
  if (platform::PortIsSimulator(name)) line += kSimulatorMark;
  Label2.SetCaption(line);
  return name;
}

void TfrmAdjustConnectionInfo::ShowNoAnswer() {
  std::string ports;
  for (const auto& p : triedPorts_) ports += (ports.empty() ? "" : ", ") + p;
  Label2.SetCaption("Связь с системой не установлена");
  lbConclusion.SetFont(platform::Font{platform::colors::Red, 0, true});
  lbConclusion.SetCaption(
      "\n\nСИСТЕМА НЕ ОТВЕЧАЕТ!\n" +
      (ports.empty()
           ? std::string("В компьютере не найдено ни одного последовательного порта.")
           : "Основной контроллер не ответил ни на одном порту.\nОпрошены: " + ports + "."));
}

void TfrmAdjustConnectionInfo::MarkConnectionLost() {
  if (connectionLost_) return;
  connectionLost_ = true;
  // What the window says was true of a connection that is gone: it stays for reference, greyed.
  platform::Font font = lbConclusion.Font();
  font.color = platform::colors::Gray;
  lbConclusion.SetFont(font);
  lbConclusion.SetCaption("СВЯЗЬ С СИСТЕМОЙ ПОТЕРЯНА: сведения устарели.\n" +
                          lbConclusion.Caption());
}

void TfrmAdjustConnectionInfo::DetectType() {
  auto& status = SystemStatus();
  if (!status.LinkUp) return;
  TSystemLink link;
  // A controller that stays silent gives no type and no version: the lines are left out rather
  // than filled with whatever an earlier reply left behind.
  std::string text = Label2.Caption();
  // The type is whatever two letters the controller answers, in its code page.
  const std::string shown = platform::Cp1251ToUtf8(link.ReadSystemType());
  if (!shown.empty()) text += "\nОбнаружено устройство KVT-" + shown;
  link.SendFrame(frames::SoftwareVersion());
  status.SetSoftwareVersion("");
  if (link.LastCount() >= 3) {
    // The version byte reads with a point before its last digit: 23 is version 2.3.
    const std::string digits = std::to_string(link.RxBuffer()[2]);
    const std::string version =
        digits.substr(0, digits.size() - 1) + "." + digits.substr(digits.size() - 1);
    text.append("\nВерсия программного обеспечения ").append(version);
    status.SetSoftwareVersion(version);
  }
  Label2.SetCaption(text);
  const std::string type = platform::Cp1251ToUtf8(link.ReadSystemType());
  if (type.empty()) return;
  status.TypeKnown = true;
  status.SetSystemType(type);
  if (type == "K4") link.SendFrame(frames::K4Identified());
}

void TfrmAdjustConnectionInfo::AddModuleRow(const ModuleRow& row) {
  // The table always ends with an empty row: fill the last one, then add a new empty one.
  const int r = ModulesTable.RowCount() - 1;
  ModulesTable.SetCell(0, r, row.page >= 0 ? std::to_string(row.page) : "");
  ModulesTable.SetCell(1, r, row.name);
  ModulesTable.SetCell(2, r, std::to_string(row.code));
  ModulesTable.SetRowCount(r + 2);
  rows_.push_back(row);
}

void TfrmAdjustConnectionInfo::DetectModules() {
  auto& status = SystemStatus();
  const platform::IniFile ini = Settings();
  TSystemLink link;
  ModulesTable.BeginUpdate();

  for (int p = 0; p <= 15; ++p) {
    std::uint8_t code = 0xFF;
    link.ReadMemory(addr::ModuleCode(p), 1, &code);
    // No answer reads as no module: a silent page must not invent one.
    if (!link.LastTransferOk() || code == 0xFF) continue;
    ModuleRow row{p, code, ModuleName(code)};
    if (row.name == kUnknownModule) {
      status.UnknownModules = true;
      unknownPages_.push_back(p);
    }
    AddModuleRow(row);
  }

  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const ModuleRow& row = rows_[i];
    if (row.code >= 255 || row.name == kUnknownModule) continue;
    const int minCode = ini.ReadInteger(PageSection(row.page), "MinCode", 0);
    const int maxCode = ini.ReadInteger(PageSection(row.page), "MaxCode", 0);
    if (row.code > maxCode || row.code < minCode) {
      status.AddressViolation = true;
      violatingRows_.push_back(int(i) + 1);
    } else if (row.page <= 5) {
      status.PagePresent[std::size_t(row.page)] = true;
    }
  }

  for (int p = 0; p <= 15; ++p) {
    const std::string section = PageSection(p);
    if (!ini.SectionExists(section) || ini.ReadInteger(section, "ModuleRequired", 0) != 1) continue;
    const ModuleRow* found = nullptr;
    for (const ModuleRow& row : rows_)
      if (row.page == p) found = &row;
    if (!found || found->name == kUnknownModule) {
      status.MissingRequired = true;
      missingPages_.push_back(p);
    }
  }

  if (status.SystemType() == "K4") {
    for (int m = 252; m <= 255; ++m) {
      const Frame frame = frames::ExtensionModule(std::uint8_t(m));
      link.Write(std::uint32_t(frame.Size()), frame.bytes.data());
      link.Read(3);
      if (link.LastCount() < 3 || link.RxBuffer()[2] == 0xFF) continue;
      const int code = link.RxBuffer()[2];
      AddModuleRow(ModuleRow{-1, code, ModuleName(code)});
    }
  }
  ModulesTable.EndUpdate();
}

void TfrmAdjustConnectionInfo::CheckBanks() {
  const std::vector<std::uint8_t> banks =
      ParseBankList(Settings().ReadString(kAutoConfigSection, "CS_Banks_Check", ""));
  GroupBox2.SetVisible(true);
  bool allOk = true;
  TSystemLink link;
  StringGrid1.BeginUpdate();
  StringGrid1.SetRowCount(1 + int(banks.size()));
  for (std::size_t i = 0; i < banks.size(); ++i) {
    const int row = int(i) + 1;
    const std::uint8_t b = banks[i];
    StringGrid1.SetCell(0, row, std::to_string(b));
    const bool ok = link.CheckBank(b);
    if (!ok) allOk = false;
    StringGrid1.SetCell(1, row, ok ? "OK" : "Несовпадение");
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", unsigned(link.ReadBankChecksum(b)));
    StringGrid1.SetCell(2, row, hex);
  }
  StringGrid1.EndUpdate();
  SystemStatus().ChecksumsOk = allOk;
}

void TfrmAdjustConnectionInfo::ShowConclusion() {
  auto& status = SystemStatus();
  std::string t;
  if (!status.TypeKnown) t += "\nТип системы не определен.";
  if (status.UnknownModules) {
    t += unknownPages_.size() == 1 ? "\nВ системе обнаружен неизветный модуль на странице: "
                                   : "\nВ системе обнаружены неизветные модули на страницах: ";
    t += JoinNumbers(unknownPages_);
  }
  if (status.AddressViolation) {
    t += violatingRows_.size() == 1 ? "\nОбнаружено нарушение магистрального адреса для модуля: "
                                    : "\nОбнаружено нарушение магистральных адресов для модулей: ";
    for (std::size_t i = 0; i < violatingRows_.size(); ++i) {
      if (i) t += ',';
      const std::string& name = rows_[std::size_t(violatingRows_[i] - 1)].name;
      const std::size_t dash = name.find('-');
      t += dash == std::string::npos ? name : name.substr(dash + 1);
    }
  }
  if (status.PagePresent[0] && !status.ChecksumsOk)
    t += "\nОбнаружено несоответствие контрольных сумм в модуле памяти.";
  if (status.MissingRequired) {
    const platform::IniFile ini = Settings();
    for (int p : missingPages_)
      t += "\nНа странице " + std::to_string(p) + " не распознан " +
           ini.ReadString(PageSection(p), "Description", "неизвестный модуль");
  }
  if (status.UnknownModules || status.AddressViolation)
    t += "\n\nВключение системы невозможно до устранения аппартных неисправностей.";
  else if (status.MissingRequired)
    t += "\n\nФункции системы будут ограничены.";

  if (t.empty()) {
    platform::Font font = lbConclusion.Font();
    font.color = platform::colors::Green;
    font.size = 10;
    lbConclusion.SetFont(font);
    lbConclusion.SetCaption("\n\nСИСТЕМА ГОТОВА К РАБОТЕ!");
  } else {
    lbConclusion.SetCaption(t);
  }
}

}  // namespace kvt
