#include "platform/Paths.h"

#include <mutex>
#include <system_error>

#ifdef _WIN32
#include "platform/win32/Win32.h"
#endif

namespace platform {

namespace {
std::mutex& PathMutex() {
  static std::mutex m;
  return m;
}
std::filesystem::path& ProgramDirStorage() {
  static std::filesystem::path dir;
  return dir;
}
}  // namespace

void SetProgramDir(const std::filesystem::path& dir) {
  std::lock_guard lock(PathMutex());
  ProgramDirStorage() = dir;
}

std::filesystem::path ProgramDir() {
  {
    std::lock_guard lock(PathMutex());
    if (!ProgramDirStorage().empty()) return ProgramDirStorage();
  }
  // Nobody set it yet: the program looks for its files in the working directory.
  std::error_code ec;
  auto cwd = std::filesystem::current_path(ec);
  return ec ? std::filesystem::path(".") : cwd;
}

std::filesystem::path SettingsPath() {
  return ProgramDir() / "vesmar.ini";
}

std::filesystem::path ExecutableDir() {
  std::error_code ec;
#if defined(_WIN32)
  const auto exe = win32::ModulePath();
  if (exe.has_parent_path()) return exe.parent_path();
#elif defined(__linux__)
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && exe.has_parent_path()) return exe.parent_path();
#endif
  auto cwd = std::filesystem::current_path(ec);
  return ec ? std::filesystem::path(".") : cwd;
}

}  // namespace platform
