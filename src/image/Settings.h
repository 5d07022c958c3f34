#pragma once
// Access to the settings file vesmar.ini. Every reader opens the file, reads its key and closes it
// again, so an edit made while the program runs counts at the next read. Each takes the file as
// an optional last argument (the program's vesmar.ini by default).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Paths.h"

namespace kvt::settings {

inline constexpr const char* kAutoConfigSection = "Описание режимов автоконфигурации";
inline constexpr const char* kErrorsSection = "Описание ошибок флюорографа";
inline constexpr const char* kModulesSection = "Описание системных модулей";
inline constexpr const char* kRotationSection = "Драйвер вращения";
inline constexpr const char* kUnknownModule = "Неизвестный модуль";
inline constexpr const char* kUnknownPageModule = "неизвестный модуль";
inline constexpr const char* kDefaultVmemPath = "C:/";

using Path = std::filesystem::path;

// --- auto-configuration ---
int ReadStartImageBank(const Path& ini = platform::SettingsPath());   // -1 when absent
int ReadMemoryImageSize(const Path& ini = platform::SettingsPath());  // -1 when absent

struct ImageConfig {
  int startBank = 0;  // first bank of the image
  int endBank = 0;    // bank after the last one ("Memory_Image_Size")
};
// Both keys in one reading; empty when either is missing (−1).
std::optional<ImageConfig> ReadImageConfig(const Path& ini = platform::SettingsPath());

std::string ReadCsBanksCheck(const Path& ini = platform::SettingsPath());  // "" when absent
std::string ReadVmemPath(const Path& ini = platform::SettingsPath());      // "C:/" when absent
// The image folder as the options show it and the file dialogs open it: "VMEM_PATH", or the
// program's own Memory/BIN when the key is absent.
std::string ReadImageDir(const Path& ini, const Path& programDir);
int ReadSnapshotTimeout(const Path& ini = platform::SettingsPath());  // 1 when absent
int ReadDigOscTools(const Path& ini = platform::SettingsPath());      // 0 when absent

bool WriteVmemPath(const std::string& path, const Path& ini = platform::SettingsPath());
bool WriteSnapshotTimeout(int seconds, const Path& ini = platform::SettingsPath());
bool WriteDigOscTools(int show, const Path& ini = platform::SettingsPath());
// The three values of the options window in one replacement of the file.
bool WriteOptions(const std::string& vmemPath, int digOscTools, int snapshotSeconds,
                  const Path& ini = platform::SettingsPath());

// --- apparatus alarms: key = the code as two upper-case hex digits ---
// "Неизвестная авария (Код: 0x1F)" when the code has no text.
std::string ReadErrorDescription(std::uint8_t code, const Path& ini = platform::SettingsPath());
std::string UnknownErrorText(std::uint8_t code);

// --- modules: key = the module code in decimal; "Неизвестный модуль" when absent ---
std::string ReadModuleName(int code, const Path& ini = platform::SettingsPath());

// --- bus pages: section "Page" + page number in decimal ---
std::string PageSection(int page);
bool PageSectionExists(int page, const Path& ini = platform::SettingsPath());
int ReadPageMinCode(int page, const Path& ini = platform::SettingsPath());         // 0
int ReadPageMaxCode(int page, const Path& ini = platform::SettingsPath());         // 0
int ReadPageModuleRequired(int page, const Path& ini = platform::SettingsPath());  // 0
std::string ReadPageDescription(int page, const Path& ini = platform::SettingsPath());

// --- rotation drive proposals (all 0 when absent) ---
int ReadDispersalMinDelta(const Path& ini = platform::SettingsPath());
int ReadBrakingMinDelta(const Path& ini = platform::SettingsPath());
int ReadDispersalMaxDelta(const Path& ini = platform::SettingsPath());
int ReadBrakingMaxDelta(const Path& ini = platform::SettingsPath());

}  // namespace kvt::settings
