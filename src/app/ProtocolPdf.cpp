#include "app/ProtocolPdf.h"

#include <cstdio>

#include "link/SystemStatus.h"
#include "platform/Ini.h"
#include "platform/LocalTime.h"
#include "platform/Paths.h"
#include "platform/Ui.h"

#ifndef KVT_VERSION
#define KVT_VERSION "0.0.0"
#endif

namespace kvt {

namespace {

constexpr std::size_t kMaxNameBytes = 80 * 2;  // 80 Cyrillic letters in UTF-8

std::string OrDash(const std::string& s) {
  return s.empty() ? "—" : s;
}

std::string FormatDate(const std::tm& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d", t.tm_mday, t.tm_mon + 1,
                t.tm_year + 1900, t.tm_hour, t.tm_min);
  return buf;
}

std::tm LocalNow() {
  const platform::LocalDateTime now = platform::LocalNow();
  std::tm t{};
  t.tm_year = now.year - 1900;
  t.tm_mon = now.month - 1;
  t.tm_mday = now.day;
  t.tm_hour = now.hour;
  t.tm_min = now.minute;
  t.tm_sec = now.second;
  return t;
}

}  // namespace

std::string ProgramVersion() {
  return KVT_VERSION;
}

std::string RememberedEngineer() {
  const platform::IniFile ini(platform::SettingsPath());
  return CleanEngineerName(ini.ReadString(protocol::kSection, protocol::kEngineerKey, ""));
}

void RememberEngineer(const std::string& name) {
  platform::IniFile ini(platform::SettingsPath());
  ini.WriteString(protocol::kSection, protocol::kEngineerKey, CleanEngineerName(name));
}

std::string CleanEngineerName(const std::string& name) {
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  if (out.size() > kMaxNameBytes) {
    out.resize(kMaxNameBytes);
    // Never cut a UTF-8 letter in half.
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
  }
  return out;
}

void StampProtocol(platform::PrintDocument& doc, const std::string& systemType,
                   const std::string& engineer, const std::tm& when) {
  doc.SetStamp(protocol::kType, systemType.empty() ? "—" : "KVT-" + systemType);
  doc.SetStamp(protocol::kControllerVersion, OrDash(SystemStatus().SoftwareVersion()));
  doc.SetStamp(protocol::kProgramVersion, ProgramVersion());
  doc.SetStamp(protocol::kDate, FormatDate(when));
  // A blank name leaves a line to sign by hand.
  doc.SetStamp(protocol::kEngineer, engineer.empty() ? "________________________" : engineer);
}

bool SaveProtocolPdf(platform::PrintDocument doc, const std::string& systemType,
                     const std::string& initialDir, const std::string& title, const std::tm* when) {
  platform::Ui& ui = platform::CurrentUi();
  std::string engineer = RememberedEngineer();
  if (!ui.InputQuery({protocol::kEngineerCaption, protocol::kEngineerPrompt}, engineer))
    return false;
  engineer = CleanEngineerName(engineer);
  RememberEngineer(engineer);

  platform::FileDialogRequest request;
  request.save = true;
  request.initialDir = initialDir;
  request.filter = protocol::kFilter;
  request.defaultExt = "pdf";
  const platform::FileDialogResult chosen = ui.RunFileDialog(request);
  if (!chosen.accepted || chosen.path.empty()) return false;
  std::filesystem::path path = chosen.path;
  if (!path.has_extension()) path += ".pdf";

  StampProtocol(doc, systemType, engineer, when ? *when : LocalNow());
  std::string error;
  if (platform::WritePdf(doc, path, error)) return true;
  platform::ShowMessage("Протокол не сохранен: " + path.string() + "\n" + error, title,
                        platform::Icon::Error);
  return false;
}

}  // namespace kvt
