#pragma once
// Every image read from the apparatus is also kept, raw, in the program's backup folder
// Memory/BIN/backup, named <type>-<date>-<time>.mi, so an engineer who translated the wrong file
// can always go back to what the apparatus held before. A backup never replaces an older one.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kvt {

// The main window's state text after a read whose backup could not be written (two lines: the
// state field is narrow).
inline constexpr const char* kStateReadNoBackup = "ОБРАЗ ПРОЧИТАН,\nРЕЗЕРВНАЯ КОПИЯ НЕ СОХРАНЕНА";

// ProgramDir/Memory/BIN/backup
std::filesystem::path BackupDir(const std::filesystem::path& programDir);

// "K2-20261208-114012" for a K2 system read at 11:40:12 on 8 December 2026 (local time). A type
// that is unknown or not two plain letters and digits is written "unknown".
std::string BackupBaseName(const std::string& systemType,
                           std::chrono::system_clock::time_point when);

struct BackupResult {
  bool ok = false;
  std::filesystem::path path;  // the file written
  std::string problem;         // why not (UTF-8, for the engineer)
};

// Writes the image as a new file in the backup folder (created when missing). The name gets
// "-2", "-3", ... when a backup of the same second exists; an existing file is never replaced
// (also by another program backing up at the same moment: each call stages under a name of its
// own), and a failure leaves no partial file. hardLinks false makes it behave as on a file system
// without hard links (FAT), as it does by itself when a link is refused.
BackupResult BackupImage(
    const std::filesystem::path& programDir, const std::string& systemType,
    const std::vector<std::uint8_t>& image,
    std::chrono::system_clock::time_point when = std::chrono::system_clock::now(),
    bool hardLinks = true);

}  // namespace kvt
