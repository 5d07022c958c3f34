#include "platform/Paths.h"

#include <system_error>

#ifdef _WIN32
#include "platform/win32/Win32.h"
#endif

#include "platform/SharedValue.h"

namespace platform {

namespace {
SharedValue<std::filesystem::path>& ProgramDirStorage() {
  static SharedValue<std::filesystem::path> dir;
  return dir;
}
}  // namespace

void SetProgramDir(const std::filesystem::path& dir) {
  ProgramDirStorage().Set(dir);
}

std::filesystem::path ProgramDir() {
  if (std::filesystem::path dir = ProgramDirStorage().Get(); !dir.empty()) return dir;
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
