#include "image/ImageBackup.h"

#include <atomic>
#include <cstdio>
#include <random>
#include <system_error>

#include "platform/Files.h"
#include "platform/LocalTime.h"

namespace kvt {

namespace fs = std::filesystem;

namespace {

// Enough for any burst of reads within one second; beyond it something is wrong with the folder.
constexpr int kMaxSuffix = 1000;

bool PlainType(const std::string& type) {
  if (type.empty() || type.size() > 8) return false;
  for (char c : type) {
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
}

// A staging name no other call shares, in this program or another one backing up in the same
// second: a random part drawn once per program, and a count within it.
std::string StagingTag() {
  static const std::uint64_t program = [] {
    // The clock too: some platforms' random_device is a fixed sequence.
    std::random_device random;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return ((std::uint64_t(random()) << 32) ^ random()) ^ std::uint64_t(now) * 0x9E3779B97F4A7C15u;
  }();
  static std::atomic<std::uint64_t> calls{0};
  char tag[40];
  std::snprintf(tag, sizeof tag, "%016llx-%llu", static_cast<unsigned long long>(program),
                static_cast<unsigned long long>(++calls));
  return tag;
}

// Without hard links the name is claimed by creating a folder beside it, which fails for every
// other claimant on any file system, and the staged file takes the name only while it is free: a
// plain rename would replace a backup another program made meanwhile.
bool MoveToFreeName(const fs::path& staging, const fs::path& candidate) {
  fs::path claim = candidate;
  claim += ".claim";
  std::error_code ec;
  if (!fs::create_directory(claim, ec) || ec) return false;
  bool moved = false;
  if (!fs::exists(candidate, ec) && !ec) {
    fs::rename(staging, candidate, ec);
    moved = !ec;
  }
  fs::remove(claim, ec);
  return moved;
}

}  // namespace

fs::path BackupDir(const fs::path& programDir) {
  return programDir / "Memory" / "BIN" / "backup";
}

std::string BackupBaseName(const std::string& systemType,
                           std::chrono::system_clock::time_point when) {
  const platform::LocalDateTime t = platform::ToLocal(when);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  std::string name = PlainType(systemType) ? systemType : "unknown";
  name.append("-").append(stamp);
  return name;
}

BackupResult BackupImage(const fs::path& programDir, const std::string& systemType,
                         const std::vector<std::uint8_t>& image,
                         std::chrono::system_clock::time_point when, bool hardLinks) {
  BackupResult result;
  const fs::path dir = BackupDir(programDir);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec)) {
    result.problem = "не удалось создать папку " + dir.string();
    return result;
  }
  const std::string base = BackupBaseName(systemType, when);
  // The whole file is written under a staging name first; it then gets its final name by a
  // hard link, which fails instead of replacing a file that appeared meanwhile.
  const fs::path staging = dir / ("." + base + "." + StagingTag() + ".part");
  if (!platform::WriteFileAtomic(staging, image)) {
    result.problem = "не удалось записать файл в папку " + dir.string();
    return result;
  }
  for (int n = 1; n <= kMaxSuffix; ++n) {
    const fs::path candidate =
        dir / (n == 1 ? base + ".mi" : base + "-" + std::to_string(n) + ".mi");
    if (fs::exists(candidate, ec)) continue;
    bool linked = false;
    if (hardLinks) {
      fs::create_hard_link(staging, candidate, ec);
      linked = !ec;
      if (!linked) {
        std::error_code again;
        if (fs::exists(candidate, again)) continue;  // taken between the look and the link
        // A file system without hard links (FAT on a stick): from here on, claim and rename.
        hardLinks = false;
      }
    }
    if (linked) {
      fs::remove(staging, ec);
    } else if (!MoveToFreeName(staging, candidate)) {
      continue;  // claimed or taken by another program: the next name
    }
    result.ok = true;
    result.path = candidate;
    return result;
  }
  fs::remove(staging, ec);
  result.problem = "не удалось дать имя файлу в папке " + dir.string();
  return result;
}

}  // namespace kvt
