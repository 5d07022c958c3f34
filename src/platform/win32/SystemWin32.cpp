// Paths, files, the console and thread priorities the Windows way.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "platform/win32/Win32.h"

namespace platform::win32 {

std::filesystem::path ModulePath() {
  // Long paths exceed MAX_PATH; grow the buffer until the name fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return std::filesystem::path(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

NewFile WriteNewFile(const std::filesystem::path& path, const void* data, std::size_t size) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_FILE_EXISTS ? NewFile::Exists : NewFile::Failed;
  bool ok = true;
  const auto* p = static_cast<const char*>(data);
  std::size_t left = size;
  while (ok && left > 0) {
    const DWORD chunk = DWORD(left > 0x40000000 ? 0x40000000 : left);
    DWORD written = 0;
    ok = WriteFile(h, p, chunk, &written, nullptr) && written == chunk;
    p += written;
    left -= written;
  }
  if (ok) (void)FlushFileBuffers(h);  // best effort, as on the other systems
  if (!CloseHandle(h)) ok = false;
  if (!ok) {
    DeleteFileW(path.c_str());
    return NewFile::Failed;
  }
  return NewFile::Written;
}

bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

unsigned long ProcessId() {
  return GetCurrentProcessId();
}

void UseUtf8Console() {
  // Fails harmlessly when there is no console (output redirected to a file or a pipe).
  (void)SetConsoleOutputCP(CP_UTF8);
  (void)SetConsoleCP(CP_UTF8);
}

long CurrentThreadId() {
  return long(GetCurrentThreadId());
}

void ApplyThreadPriority(long threadId, ThreadPriority priority) {
  HANDLE h = OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, DWORD(threadId));
  if (h == nullptr) return;  // best effort, as on the other systems
  int level = THREAD_PRIORITY_NORMAL;
  switch (priority) {
    case ThreadPriority::Idle:
      level = THREAD_PRIORITY_IDLE;
      break;
    case ThreadPriority::Normal:
      level = THREAD_PRIORITY_NORMAL;
      break;
    case ThreadPriority::TimeCritical:
      level = THREAD_PRIORITY_TIME_CRITICAL;
      break;
  }
  (void)SetThreadPriority(h, level);
  CloseHandle(h);
}

}  // namespace platform::win32
