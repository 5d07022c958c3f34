// The settings reader on arbitrary files: the input is written to a scratch file that the profile
// functions and the settings readers then read and change. The file lies in memory (/dev/shm
// where there is one): every write syncs the file to its disk, which on a real disk would hold
// each run up for milliseconds.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "image/Settings.h"
#include "platform/Ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path path =
      (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path()) /
      ("kvt-fuzz-ini-" + std::to_string(getpid()) + ".ini");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  namespace s = kvt::settings;
  (void)s::ReadImageConfig(path);
  (void)s::ReadCsBanksCheck(path);
  (void)s::ReadVmemPath(path);
  (void)s::ReadErrorDescription(0x1F, path);
  (void)s::ReadModuleName(10, path);
  (void)s::ReadPageDescription(0, path);
  (void)s::ReadPageMinCode(1, path);
  (void)s::ReadBrakingMaxDelta(path);

  platform::IniFile ini(path);
  for (const std::string& key : ini.ReadSectionKeys(s::kAutoConfigSection))
    (void)ini.ReadString(s::kAutoConfigSection, key, "");
  (void)ini.SectionExists("Ports");
  (void)ini.ReadInteger("Ports", "COM1", 0);

  // A write is read back as written, whatever the rest of the file looks like.
  if (s::WriteSnapshotTimeout(7, path) && s::ReadSnapshotTimeout(path) != 7) std::abort();
  if (ini.WriteString("Fuzz", "Key", "Значение") && ini.ReadString("Fuzz", "Key", "") != "Значение")
    std::abort();
  return 0;
}
