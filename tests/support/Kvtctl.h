#pragma once
// kvtctl started as a script starts it: through the shell, in a scratch program folder, its
// standard output and error caught in files there. POSIX only (<sys/wait.h>): the tests that
// include it are named after kvtctl and are not built for Windows.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/TempDir.h"

namespace testsupport {

struct CliRun {
  int status = -1;  // the exit status, -1 when kvtctl did not exit normally
  std::string out, err;
};

inline std::filesystem::path KvtctlExe() {
  return std::filesystem::path(KVT_BINARY_DIR) / "src/cli/kvtctl";
}

// Runs `kvtctl --dir DIRARG ARGS` with dir as the working folder; DIRARG is "." unless given.
inline CliRun RunKvtctl(const std::filesystem::path& dir, const std::string& args,
                        const std::string& dirArg = ".") {
  // Built by appending: a chain of + here gives GCC 12 -O2 a false -Wrestrict.
  std::string cmd = "cd '";
  cmd.append(dir.string()).append("' && '").append(KvtctlExe().string()).append("' --dir '");
  cmd.append(dirArg).append("' ").append(args).append(" >out.txt 2>err.txt");
  const int raw = std::system(cmd.c_str());
  CliRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadBytes(dir / "out.txt");
  run.err = ReadBytes(dir / "err.txt");
  return run;
}

// A scratch program folder to run kvtctl in; each test is skipped when kvtctl was not built.
class KvtctlFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(KvtctlExe())) GTEST_SKIP() << "kvtctl not built: " << KvtctlExe();
    MakeFolder();
  }
  // Fills the folder before each test.
  virtual void MakeFolder() {}
  // The shipped vesmar.ini into the folder, and with withTemplate Memory/etalon.pat too.
  void CopyShippedSettings(bool withTemplate) {
    const std::filesystem::path data(KVT_DATA_DIR);
    std::filesystem::copy_file(data / "vesmar.ini", dir_ / "vesmar.ini");
    if (!withTemplate) return;
    std::filesystem::create_directories(dir_ / "Memory");
    std::filesystem::copy_file(data / "Memory" / "etalon.pat", dir_ / "Memory" / "etalon.pat");
  }
  // The folder's simulator.ini: that type in instant timing, its memory kept in memoryFile ("" for
  // nowhere), then the [Faults] section's lines (and any sections after it).
  void WriteSimulator(const std::string& type, const std::string& memoryFile,
                      const std::string& faults) {
    std::ofstream(dir_ / "simulator.ini")
        << "[Simulator]\nType=" << type << "\nTiming=instant\nMemoryFile=" << memoryFile
        << "\n[Faults]\n"
        << faults;
  }
  CliRun Kvtctl(const std::string& args) { return RunKvtctl(dir_.Path(), args, dirArg_); }
  // The .dat file `from` with KUAN's shipped 100 changed to value, as an engineer edits it, saved
  // as `to`; false when the text has no such line.
  bool EditKuan(const std::string& from, const std::string& value, const std::string& to) {
    std::string text = ReadBytes(dir_ / from);
    const std::string line = "\n100  ; 0x013 KUAN";
    const auto at = text.find(line);
    if (at == std::string::npos) return false;
    std::string edited = "\n";
    edited.append(value).append("  ; 0x013 KUAN");
    text.replace(at, line.size(), edited);
    WriteBytes(dir_ / to, text);
    return true;
  }

  TempDir dir_;
  std::string dirArg_ = ".";  // what --dir names
};

}  // namespace testsupport
