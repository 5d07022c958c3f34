#pragma once
// Scratch folders and small file helpers for tests.

#include <filesystem>
#include <string>

#include "platform/Paths.h"

namespace testsupport {

// A fresh, empty folder under the system's temporary folder, removed with everything in it when
// the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers that keep every byte (no line-end translation).
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& path);

// Sets the program folder for the life of the object and restores the previous one after.
// (Inline, so that the GUI tests, which do not link this folder, can use it too.)
class ScopedProgramDir {
 public:
  explicit ScopedProgramDir(const std::filesystem::path& dir) : previous_(platform::ProgramDir()) {
    platform::SetProgramDir(dir);
  }
  ~ScopedProgramDir() { platform::SetProgramDir(previous_); }
  ScopedProgramDir(const ScopedProgramDir&) = delete;
  ScopedProgramDir& operator=(const ScopedProgramDir&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace testsupport
