// The Windows side of the platform: the registry's port list, the Win32 line refusing a port that
// is not there, the executable's folder and thread priorities. Runs only in the Windows build.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <future>

#include "platform/Paths.h"
#include "platform/SerialPort.h"
#include "platform/Thread.h"
#include "platform/win32/Win32.h"
#include "support/ScopedUi.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// A scratch key under the current user, removed again, so the test needs no administrator.
class RegistryPorts : public ::testing::Test {
 protected:
  const std::wstring subkey_ = L"Software\\KVT-Vesmar-test\\SERIALCOMM";
  HKEY key_ = nullptr;
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KVT-Vesmar-test");
  }
  void Set(const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD((value.size() + 1) * sizeof(wchar_t)));
  }
};

TEST_F(RegistryPorts, ListsThePortNamesComPortsInNumberOrder) {
  EXPECT_TRUE(platform::win32::SerialPortsListedIn(false, subkey_).empty());
  Set(L"\\Device\\Serial1", L"COM10");
  Set(L"\\Device\\VCP0", L"CNCA0");
  Set(L"\\Device\\Serial0", L"COM2");
  Set(L"\\Device\\USBSER000", L"COM1");
  const DWORD number = 7;  // not a name: skipped
  RegSetValueExW(key_, L"odd", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  // A value stored without its terminating character still reads as the name.
  const std::wstring bare = L"COM3";
  RegSetValueExW(key_, L"bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare.data()),
                 DWORD(bare.size() * sizeof(wchar_t)));
  EXPECT_EQ(platform::win32::SerialPortsListedIn(false, subkey_),
            (std::vector<std::string>{"COM1", "COM2", "COM3", "COM10", "CNCA0"}));
  EXPECT_TRUE(platform::win32::SerialPortsListedIn(false, subkey_ + L"\\missing").empty());
}

TEST(Win32SerialPort, WithoutAPortsSectionAPortIsOpenedByItsOwnName) {
  testsupport::TempDir dir;
  testsupport::ScopedProgramDir programDir(dir.Path());
  testsupport::WriteBytes(dir / "vesmar.ini", "[General]\r\nStart_Image_Bank=0\r\n");
  EXPECT_EQ(platform::MapPortName("com3"), "com3");
  EXPECT_EQ(platform::MapPortName("\\\\.\\COM12"), "\\\\.\\COM12");
  EXPECT_EQ(platform::MapPortName("LPT1"), "");
  EXPECT_EQ(platform::MapPortName("/dev/ttyS0"), "");
  EXPECT_EQ(platform::ListSerialPorts(), platform::win32::RegistrySerialPorts());
  // A port no machine has: refused cleanly, by the name and by the device path.
  EXPECT_EQ(platform::OpenSerialPort("COM250"), nullptr);
  EXPECT_EQ(platform::OpenWin32SerialPort("COM250"), nullptr);
  EXPECT_EQ(platform::OpenWin32SerialPort("\\\\.\\COM250"), nullptr);
  EXPECT_EQ(platform::OpenWin32SerialPort(""), nullptr);
}

TEST(Win32SerialPort, AFileIsNoSerialLine) {
  testsupport::TempDir dir;
  testsupport::WriteBytes(dir / "COM1.txt", "not a port");
  // The device namespace keeps the name from reaching a file; a full path is refused by the
  // line settings, which a file does not take.
  EXPECT_EQ(platform::OpenWin32SerialPort((dir / "COM1.txt").string()), nullptr);
}

TEST(Win32Paths, ExecutableDirIsTheFolderOfTheRunningProgram) {
  const fs::path exe = platform::win32::ModulePath();
  EXPECT_EQ(exe.filename(), "kvt-tests.exe");
  EXPECT_EQ(platform::ExecutableDir(), exe.parent_path());
  EXPECT_TRUE(fs::equivalent(platform::ExecutableDir(), fs::path(KVT_BINARY_DIR) / "tests"));
}

class PriorityProbe : public platform::Thread {
 public:
  using Thread::Thread;
  ~PriorityProbe() override {
    Terminate();
    WaitFor();
  }
  std::promise<int> first;
  std::atomic<int> later{-100};

 protected:
  void Execute() override {
    first.set_value(GetThreadPriority(GetCurrentThread()));
    Sleep(60000);  // until Terminate
    later = GetThreadPriority(GetCurrentThread());
  }
};

TEST(Win32Thread, PrioritiesAreTheSystemsIdleNormalAndTimeCritical) {
  testsupport::ScopedUi ui;
  PriorityProbe t(platform::ThreadPriority::Idle);
  auto first = t.first.get_future();
  t.Start();
  EXPECT_EQ(first.get(), THREAD_PRIORITY_IDLE);
  t.SetPriority(platform::ThreadPriority::TimeCritical);  // from another thread, while it runs
  t.Terminate();
  t.WaitFor();
  EXPECT_EQ(t.later.load(), THREAD_PRIORITY_TIME_CRITICAL);
}

}  // namespace
