#pragma once
// Profile (INI) access that behaves like the Windows profile functions: every call opens the file,
// reads or changes it, and closes it again. Section and key names compare case-insensitively
// (Cyrillic too); the first match wins; a write changes only its own line, or appends the key or
// the section, and keeps every other byte of the file, CRLF line ends included. Files are
// windows-1251 (or UTF-8, detected and kept); names and values are UTF-8 here.
//
// IniEdit gathers many writes to one file and makes them with a single replacement of the file:
// each write behaves exactly as IniFile::WriteString would, in the order given.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

class IniFile {
 public:
  explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // A value that does not start with a decimal number (after blanks, optional sign) gives def,
  // like GetPrivateProfileInt gives 0 for text.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  bool SectionExists(const std::string& section) const;
  // Key names of a section in file order (first occurrence of each).
  std::vector<std::string> ReadSectionKeys(const std::string& section) const;

  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, int value);

  // Whole-file writes (each one a replacement with one sync) made by every IniFile of the
  // process so far: the benchmarks' measure of what a save costs the disk.
  static std::uint64_t FilesWritten();

 private:
  std::filesystem::path path_;
};

class IniEdit {
 public:
  explicit IniEdit(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const { return path_; }

  // Collects a write; false (and nothing collected) for a name IniFile::WriteString refuses.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, int value);
  std::size_t Pending() const { return changes_.size(); }

  // Reads the file as it is now, applies the collected writes and replaces the file once (one
  // write, one sync), whatever their number. False when a write was refused, or when the file
  // cannot be read or replaced: then it keeps its old contents whole. The collection is emptied
  // either way.
  bool Commit();

 private:
  struct Change {
    std::string section, key, value;
  };
  std::filesystem::path path_;
  std::vector<Change> changes_;
  bool refused_ = false;
};

}  // namespace platform
