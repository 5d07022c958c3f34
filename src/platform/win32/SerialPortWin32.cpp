// The real line on Windows, through the Win32 communications functions, and the list of ports
// Windows keeps in its registry.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/win32/Win32.h"

namespace platform {

namespace {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(std::size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), n);
  return w;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string s(std::size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// "COMn" -> n, else 0 (for ordering the registry's list).
int ComNumber(const std::string& name) {
  if (name.size() < 4) return 0;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(name[std::size_t(i)])) != "COM"[i]) return 0;
  int n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || n > 255) return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(HANDLE handle) : handle_(handle) {}
  ~Win32SerialPort() override { CloseHandle(handle_); }

  bool Configure() override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return false;
    dcb.BaudRate = CBR_2400;
    dcb.ByteSize = 8;
    dcb.Parity = SPACEPARITY;  // the ninth bit at rest: data bytes
    dcb.StopBits = ONESTOPBIT;
    // The apparatus sets the ninth bit as it pleases: never check it on received bytes.
    dcb.fParity = FALSE;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    // Unused with XON/XOFF off, but the driver refuses a block whose two characters are equal.
    if (dcb.XonChar == dcb.XoffChar) {
      dcb.XonChar = 0x11;
      dcb.XoffChar = 0x13;
    }
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(handle_, &dcb)) return false;
    if (!ApplyReadTimeout(kSilenceMs)) return false;
    if (!SetupComm(handle_, 500, 500)) return false;
    parity_ = Parity::Space;
    return true;
  }

  bool SetParity(Parity parity) override {
    // Writes return only once their bytes are out, but make sure: a byte still in the queue
    // would leave with the new ninth bit.
    FlushFileBuffers(handle_);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return false;
    dcb.Parity = static_cast<BYTE>(parity);  // the codes are the DCB's MARKPARITY and SPACEPARITY
    if (!SetCommState(handle_, &dcb)) return false;
    parity_ = parity;
    return true;
  }

  Parity CurrentParity() const override { return parity_; }

  bool Purge() override {
    return PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
  }

  int Write(const std::uint8_t* data, std::size_t count) override {
    if (count == 0) return 0;
    const DWORD want = DWORD(std::min<std::size_t>(count, 0x7FFFFFFF));
    DWORD written = 0;
    if (!WriteFile(handle_, data, want, &written, nullptr)) return -1;
    // WriteFile returns when the driver holds the bytes. The silence that ends the reply must
    // count from the last byte on the wire, or a slow answer to a long frame looks like none.
    if (!FlushFileBuffers(handle_)) return -1;
    return int(written);
  }

  int Read(std::uint8_t* dest, std::size_t max, int timeoutMs) override {
    if (max == 0) return 0;
    if (!ApplyReadTimeout(timeoutMs)) return -1;
    DWORD got = 0;
    const DWORD want = DWORD(std::min<std::size_t>(max, 0x7FFFFFFF));
    if (!ReadFile(handle_, dest, want, &got, nullptr)) return -1;
    return int(got);
  }

 private:
  // Interval and multiplier at their maximum with a total constant: ReadFile returns at once with
  // whatever has arrived, else waits for the first byte and returns with it, else returns empty
  // after the constant. A time-out of 0 asks for what is there without waiting.
  bool ApplyReadTimeout(int timeoutMs) {
    if (timeoutMs < 0) timeoutMs = 0;
    if (timeoutMs == appliedTimeoutMs_) return true;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = timeoutMs > 0 ? MAXDWORD : 0;
    t.ReadTotalTimeoutConstant = DWORD(timeoutMs);
    t.WriteTotalTimeoutMultiplier = 20;  // ms per byte: a byte takes under 5 ms at 2400 baud
    t.WriteTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(handle_, &t)) return false;
    appliedTimeoutMs_ = timeoutMs;
    return true;
  }

  HANDLE handle_;
  Parity parity_ = Parity::Space;
  int appliedTimeoutMs_ = -1;
};

}  // namespace

std::unique_ptr<SerialPort> OpenWin32SerialPort(const std::string& device) {
  if (device.empty()) return nullptr;
  // The device namespace reaches every port, COM10 and above too, and never a file of that name.
  std::wstring path = Widen(device);
  if (path.empty()) return nullptr;
  if (path.rfind(L"\\\\", 0) != 0) path = L"\\\\.\\" + path;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr,
                         OPEN_EXISTING, 0 /* not overlapped */, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32SerialPort>(h);
}

namespace win32 {

std::vector<std::string> RegistrySerialPorts() {
  return SerialPortsListedIn(true, L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
}

std::vector<std::string> SerialPortsListedIn(bool localMachine, const std::wstring& subkey) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, subkey.c_str(), 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return names;
  DWORD values = 0, maxName = 0, maxData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &maxName,
                       &maxData, nullptr, nullptr) == ERROR_SUCCESS) {
    std::vector<wchar_t> name(maxName + 1);
    std::vector<BYTE> data(maxData + sizeof(wchar_t));
    for (DWORD i = 0; i < values; ++i) {
      DWORD nameLen = DWORD(name.size());
      DWORD dataLen = DWORD(data.size() - sizeof(wchar_t));
      DWORD type = 0;
      if (RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen) !=
              ERROR_SUCCESS ||
          type != REG_SZ)
        continue;
      // The data need not end in a terminator; the spare character guarantees one.
      std::fill(data.begin() + dataLen, data.end(), BYTE(0));
      std::wstring port(reinterpret_cast<const wchar_t*>(data.data()));
      while (!port.empty() && std::iswspace(port.back())) port.pop_back();
      if (!port.empty()) names.push_back(Narrow(port));
    }
  }
  RegCloseKey(key);
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int na = ComNumber(a), nb = ComNumber(b);
    if ((na > 0) != (nb > 0)) return na > 0;
    return na < nb;
  });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

}  // namespace win32

}  // namespace platform
