#pragma once
// Program-wide paths. The desktop program sets the program directory to the executable's folder;
// kvtctl to --dir; tests to a scratch folder.

#include <filesystem>

namespace platform {

void SetProgramDir(const std::filesystem::path& dir);
std::filesystem::path ProgramDir();
// ProgramDir() / "vesmar.ini"
std::filesystem::path SettingsPath();
// The folder of the running executable (/proc/self/exe on Linux, GetModuleFileNameW on Windows).
std::filesystem::path ExecutableDir();

}  // namespace platform
