#include "platform/Files.h"

#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define KVT_POSIX_FILES 1
#elif defined(_WIN32)
#include "platform/win32/Win32.h"
#endif

namespace platform {

namespace fs = std::filesystem;

std::optional<std::vector<std::uint8_t>> ReadBinaryFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

std::optional<std::string> ReadTextFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return text;
}

namespace {

// A name beside the target that no other writer (thread or process) picks at the same time.
fs::path TempNameFor(const fs::path& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
#ifdef KVT_POSIX_FILES
  const long pid = static_cast<long>(getpid());
#elif defined(_WIN32)
  const long pid = static_cast<long>(win32::ProcessId());
#else
  const long pid = 0;
#endif
  // Built by appending: GCC 12 warns falsely (-Wrestrict) on chained string additions.
  std::string name = ".";
  name.append(path.filename().string());
  for (const auto part :
       {static_cast<unsigned long>(pid), static_cast<unsigned long>(counter.fetch_add(1)),
        static_cast<unsigned long>(attempt)}) {
    name.append(".").append(std::to_string(part));
  }
  name.append(".tmp");
  return path.parent_path() / name;
}

}  // namespace

bool WriteFileAtomic(const fs::path& path, const void* data, std::size_t size) {
  if (path.empty() || !path.has_filename()) return false;
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
#ifdef KVT_POSIX_FILES
  fs::path temp;
  int fd = -1;
  for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TempNameFor(path, attempt);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = true;
  // Keep the permissions of the file being replaced.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) (void)::fchmod(fd, st.st_mode & 07777);
  const auto* p = static_cast<const char*>(data);
  std::size_t left = size;
  while (ok && left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
    } else {
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  if (ok) (void)::fsync(fd);  // best effort: some file systems refuse it
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
#elif defined(_WIN32)
  fs::path temp;
  win32::NewFile made = win32::NewFile::Exists;
  for (unsigned attempt = 0; attempt < 100 && made == win32::NewFile::Exists; ++attempt) {
    temp = TempNameFor(path, attempt);
    made = win32::WriteNewFile(temp, data, size);
  }
  if (made != win32::NewFile::Written) return false;
  // The replacement is one step: a reader sees the old file or the new one, never a part.
  if (win32::MoveReplacing(temp, path)) return true;
  fs::remove(temp, ec);
  return false;
#else
  fs::path temp = TempNameFor(path, 0);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.flush();
    if (!out) {
      out.close();
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
#endif
}

}  // namespace platform
