#pragma once
// The Windows side of the platform seams, compiled only into the Windows build. The portable
// files of platform/ call these where Windows does a thing its own way; nothing above platform/
// sees them.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/Thread.h"

namespace platform::win32 {

// The port names (e.g. "COM1") Windows lists as the values of the key HARDWARE\DEVICEMAP\SERIALCOMM
// under HKEY_LOCAL_MACHINE, COM ports in number order; empty when the key is missing or empty.
std::vector<std::string> RegistrySerialPorts();
// The same reading of any key under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
std::vector<std::string> SerialPortsListedIn(bool localMachine, const std::wstring& subkey);

// The full path of the running executable (GetModuleFileNameW); empty on failure.
std::filesystem::path ModulePath();

// Creates `path`, which must not exist yet, with the bytes and flushes them to the disk.
enum class NewFile { Written, Exists, Failed };
NewFile WriteNewFile(const std::filesystem::path& path, const void* data, std::size_t size);
// Puts `from` in the place of `to` in one step, replacing a file already there.
bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
unsigned long ProcessId();

// Console output and input in UTF-8 (SetConsoleOutputCP, SetConsoleCP).
void UseUtf8Console();

// The system's id of the calling thread, and a priority change of a running thread by that id.
long CurrentThreadId();
void ApplyThreadPriority(long threadId, ThreadPriority priority);

}  // namespace platform::win32
