#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

std::optional<std::vector<std::uint8_t>> ReadBinaryFile(const std::filesystem::path& path);
std::optional<std::string> ReadTextFile(const std::filesystem::path& path);
// Writes beside the target under a temporary name and renames it into place, so a failure
// never leaves a half-written file. False on any failure (the old file is then untouched).
bool WriteFileAtomic(const std::filesystem::path& path, const void* data, std::size_t size);
inline bool WriteFileAtomic(const std::filesystem::path& path, const std::string& text) {
  return WriteFileAtomic(path, text.data(), text.size());
}
inline bool WriteFileAtomic(const std::filesystem::path& path, const std::vector<std::uint8_t>& b) {
  return WriteFileAtomic(path, b.data(), b.size());
}

}  // namespace platform
