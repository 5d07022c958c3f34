#pragma once
// kvtctl started as a script starts it: through the shell, in a scratch program folder, its
// standard output and error caught in files there. POSIX only (<sys/wait.h>): the tests that
// include it are named after kvtctl and are not built for Windows.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace testsupport
