#include "image/Settings.h"

#include <cstdio>

#include "platform/Ini.h"

namespace kvt::settings {
namespace {

int ReadInt(const Path& ini, const std::string& section, const std::string& key, int def) {
  return platform::IniFile(ini).ReadInteger(section, key, def);
}
std::string ReadText(const Path& ini, const std::string& section, const std::string& key,
                     const std::string& def) {
  return platform::IniFile(ini).ReadString(section, key, def);
}

}  // namespace

int ReadStartImageBank(const Path& ini) {
  return ReadInt(ini, kAutoConfigSection, "Start_Image_Bank", -1);
}
int ReadMemoryImageSize(const Path& ini) {
  return ReadInt(ini, kAutoConfigSection, "Memory_Image_Size", -1);
}

std::optional<ImageConfig> ReadImageConfig(const Path& ini) {
  const platform::IniFile file(ini);
  const int start = file.ReadInteger(kAutoConfigSection, "Start_Image_Bank", -1);
  const int end = file.ReadInteger(kAutoConfigSection, "Memory_Image_Size", -1);
  if (start == -1 || end == -1) return std::nullopt;
  return ImageConfig{start, end};
}

std::string ReadCsBanksCheck(const Path& ini) {
  return ReadText(ini, kAutoConfigSection, "CS_Banks_Check", "");
}
std::string ReadVmemPath(const Path& ini) {
  return ReadText(ini, kAutoConfigSection, "VMEM_PATH", kDefaultVmemPath);
}
std::string ReadImageDir(const Path& ini, const Path& programDir) {
  platform::IniFile file(ini);
  return file.ReadString(kAutoConfigSection, "VMEM_PATH", (programDir / "Memory" / "BIN").string());
}
int ReadSnapshotTimeout(const Path& ini) {
  return ReadInt(ini, kAutoConfigSection, "SNAPSHOTTIMEOUT", 1);
}
int ReadDigOscTools(const Path& ini) {
  return ReadInt(ini, kAutoConfigSection, "DigOscTools", 0);
}

bool WriteVmemPath(const std::string& path, const Path& ini) {
  return platform::IniFile(ini).WriteString(kAutoConfigSection, "VMEM_PATH", path);
}
bool WriteSnapshotTimeout(int seconds, const Path& ini) {
  return platform::IniFile(ini).WriteInteger(kAutoConfigSection, "SNAPSHOTTIMEOUT", seconds);
}
bool WriteDigOscTools(int show, const Path& ini) {
  return platform::IniFile(ini).WriteInteger(kAutoConfigSection, "DigOscTools", show);
}
bool WriteOptions(const std::string& vmemPath, int digOscTools, int snapshotSeconds,
                  const Path& ini) {
  platform::IniEdit edit(ini);
  edit.WriteString(kAutoConfigSection, "VMEM_PATH", vmemPath);
  edit.WriteInteger(kAutoConfigSection, "DigOscTools", digOscTools);
  edit.WriteInteger(kAutoConfigSection, "SNAPSHOTTIMEOUT", snapshotSeconds);
  return edit.Commit();
}

std::string UnknownErrorText(std::uint8_t code) {
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", unsigned(code));
  return std::string("Неизвестная авария (Код: 0x") + hex + ")";
}

std::string ReadErrorDescription(std::uint8_t code, const Path& ini) {
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", unsigned(code));
  return ReadText(ini, kErrorsSection, hex, UnknownErrorText(code));
}

std::string ReadModuleName(int code, const Path& ini) {
  return ReadText(ini, kModulesSection, std::to_string(code), kUnknownModule);
}

std::string PageSection(int page) {
  return "Page" + std::to_string(page);
}
bool PageSectionExists(int page, const Path& ini) {
  return platform::IniFile(ini).SectionExists(PageSection(page));
}
int ReadPageMinCode(int page, const Path& ini) {
  return ReadInt(ini, PageSection(page), "MinCode", 0);
}
int ReadPageMaxCode(int page, const Path& ini) {
  return ReadInt(ini, PageSection(page), "MaxCode", 0);
}
int ReadPageModuleRequired(int page, const Path& ini) {
  return ReadInt(ini, PageSection(page), "ModuleRequired", 0);
}
std::string ReadPageDescription(int page, const Path& ini) {
  return ReadText(ini, PageSection(page), "Description", kUnknownPageModule);
}

int ReadDispersalMinDelta(const Path& ini) {
  return ReadInt(ini, kRotationSection, "Dispersal_Min_Delta", 0);
}
int ReadBrakingMinDelta(const Path& ini) {
  return ReadInt(ini, kRotationSection, "Braking_Min_Delta", 0);
}
int ReadDispersalMaxDelta(const Path& ini) {
  return ReadInt(ini, kRotationSection, "Dispersal_Max_Delta", 0);
}
int ReadBrakingMaxDelta(const Path& ini) {
  return ReadInt(ini, kRotationSection, "Braking_Max_Delta", 0);
}

}  // namespace kvt::settings
