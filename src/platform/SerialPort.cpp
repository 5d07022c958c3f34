#include "platform/SerialPort.h"

#include <algorithm>
#include <cctype>

#ifdef _WIN32
#include "platform/win32/Win32.h"
#else
#include <libserialport.h>
#endif
#if defined(__unix__) || defined(__APPLE__)
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#define KVT_POSIX_TTY 1
#endif

#include "platform/Ini.h"
#include "platform/Paths.h"
#include "platform/SerialTrace.h"
#include "platform/SharedValue.h"

namespace platform {

namespace {

SharedValue<SimulatorPortFactory>& Factory() {
  static SharedValue<SimulatorPortFactory> factory;
  return factory;
}

constexpr const char* kPortsSection = "Ports";

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string TrimBlanks(std::string s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && blank(s[b])) ++b;
  return s.substr(b);
}

// "COMn" -> n (1 or more), else 0.
int ComNumber(std::string_view name) {
  if (name.size() < 4 || !EqualsNoCase(name.substr(0, 3), "COM")) return 0;
  int n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
    if (n > 255) return 0;
  }
  return n;
}

// Whether [Ports] decides the port names: it exists and maps at least one name to something. A
// section that maps every name to nothing (the service program's settings) leaves the ports to
// the machine, as if it were not there.
bool PortsSectionMaps(const IniFile& ini) {
  if (!ini.SectionExists(kPortsSection)) return false;
  for (const auto& key : ini.ReadSectionKeys(kPortsSection))
    if (!TrimBlanks(ini.ReadString(kPortsSection, key, "")).empty()) return true;
  return false;
}

#ifndef _WIN32
// Device paths of the ports libserialport lists, in its order.
std::vector<std::string> SystemPorts() {
  std::vector<std::string> ports;
  sp_port** list = nullptr;
  if (sp_list_ports(&list) != SP_OK || list == nullptr) return ports;
  for (int i = 0; list[i] != nullptr; ++i) {
    if (const char* name = sp_get_port_name(list[i])) ports.emplace_back(name);
  }
  sp_free_port_list(list);
  return ports;
}

class LibSerialPortBackend final : public SerialPort {
 public:
  explicit LibSerialPortBackend(sp_port* port) : port_(port) {}
  ~LibSerialPortBackend() override {
    sp_close(port_);
    sp_free_port(port_);
  }

  bool Configure() override {
    bool ok = sp_set_baudrate(port_, 2400) == SP_OK;
    ok = ok && sp_set_bits(port_, 8) == SP_OK;
    ok = ok && sp_set_stopbits(port_, 1) == SP_OK;
    ok = ok && sp_set_parity(port_, SP_PARITY_SPACE) == SP_OK;
    // No flow control of any kind; then the modem lines as the apparatus expects them.
    ok = ok && sp_set_flowcontrol(port_, SP_FLOWCONTROL_NONE) == SP_OK;
    ok = ok && sp_set_xon_xoff(port_, SP_XONXOFF_DISABLED) == SP_OK;
    ok = ok && sp_set_cts(port_, SP_CTS_IGNORE) == SP_OK;
    ok = ok && sp_set_dsr(port_, SP_DSR_IGNORE) == SP_OK;
    ok = ok && sp_set_dtr(port_, SP_DTR_OFF) == SP_OK;
    ok = ok && sp_set_rts(port_, SP_RTS_ON) == SP_OK;
    ok = ok && NoParityCheckOnReceive();
    if (ok) parity_ = Parity::Space;
    return ok;
  }

  bool SetParity(Parity parity) override {
    // libserialport applies the setting at once: bytes still in the output queue must leave
    // with the parity they were written with.
    if (sp_drain(port_) != SP_OK) return false;
    const sp_parity p = parity == Parity::Mark ? SP_PARITY_MARK : SP_PARITY_SPACE;
    if (sp_set_parity(port_, p) != SP_OK) return false;
    parity_ = parity;
    return NoParityCheckOnReceive();
  }

  Parity CurrentParity() const override { return parity_; }

  bool Purge() override { return sp_flush(port_, SP_BUF_BOTH) == SP_OK; }

  int Write(const std::uint8_t* data, std::size_t count) override {
    if (count == 0) return 0;
    const unsigned timeout = static_cast<unsigned>(std::min<std::size_t>(count, 100000) * 20);
    const sp_return r = sp_blocking_write(port_, data, count, timeout);
    if (r < 0) return -1;
    // The bytes are only in the driver's queue now. The reply's silence time-out must start when
    // they have left, or a slow controller's answer to a long frame is taken for silence.
    if (sp_drain(port_) != SP_OK) return -1;
    return static_cast<int>(r);
  }

  int Read(std::uint8_t* dest, std::size_t max, int timeoutMs) override {
    if (max == 0) return 0;
    // A time-out of 0 means "wait for ever" to libserialport.
    const sp_return r =
        timeoutMs > 0 ? sp_blocking_read_next(port_, dest, max, static_cast<unsigned>(timeoutMs))
                      : sp_nonblocking_read(port_, dest, max);
    return r < 0 ? -1 : static_cast<int>(r);
  }

 private:
  // The apparatus answers with the ninth bit as it pleases, so a received byte must never be
  // taken for a parity error (dropped or turned into 0). libserialport leaves the input parity
  // check as the device had it; switch it off explicitly.
  bool NoParityCheckOnReceive() {
#ifdef KVT_POSIX_TTY
    int fd = -1;
    if (sp_get_port_handle(port_, &fd) != SP_OK || fd < 0) return false;
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    if ((t.c_iflag & (INPCK | PARMRK | ISTRIP)) == 0) return true;
    t.c_iflag &= ~tcflag_t(INPCK | PARMRK | ISTRIP);
    return tcsetattr(fd, TCSANOW, &t) == 0;
#else
    return true;  // libserialport's Windows settings keep every received byte
#endif
  }

  sp_port* port_;
  Parity parity_ = Parity::Space;
};

#ifdef KVT_POSIX_TTY
// libserialport 0.1.1 opens the device without claiming it. TIOCEXCL keeps other processes from
// opening the tty; the lock also stops a second copy of this program run as root, which TIOCEXCL
// lets through. False when another holder has it.
bool ClaimExclusively(sp_port* port) {
  int fd = -1;
  if (sp_get_port_handle(port, &fd) != SP_OK || fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  (void)ioctl(fd, TIOCEXCL);  // refused by some drivers; the lock above still holds
  return true;
}
#endif
#endif  // !_WIN32

}  // namespace

void SetSimulatorPortFactory(SimulatorPortFactory factory) {
  Factory().Set(std::move(factory));
}

SimulatorPortFactory GetSimulatorPortFactory() {
  return Factory().Get();
}

std::string MapPortName(const std::string& name) {
  const std::string trimmed = TrimBlanks(name);
  if (trimmed.empty()) return "";
  IniFile ini(SettingsPath());
  if (PortsSectionMaps(ini)) return TrimBlanks(ini.ReadString(kPortsSection, trimmed, ""));
#ifdef _WIN32
  // Windows opens a port by its own name, or by a device path such as \\.\COM12.
  if (ComNumber(trimmed) > 0 || trimmed.front() == '\\') return trimmed;
  return "";
#else
  const int n = ComNumber(trimmed);
  if (n > 0) {
    const auto ports = SystemPorts();
    return n <= static_cast<int>(ports.size()) ? ports[n - 1] : std::string();
  }
  // A device path given directly is its own target.
  if (trimmed.front() == '/') return trimmed;
  return "";
#endif
}

std::vector<std::string> ListSerialPorts() {
  std::vector<std::string> names;
  IniFile ini(SettingsPath());
  if (PortsSectionMaps(ini)) {
    std::vector<std::string> mapped;
    for (const auto& key : ini.ReadSectionKeys(kPortsSection)) {
      if (!TrimBlanks(ini.ReadString(kPortsSection, key, "")).empty()) mapped.push_back(key);
    }
    for (int n = 1; n <= 4; ++n) {
      const std::string com = "COM" + std::to_string(n);
      for (const auto& key : mapped) {
        if (EqualsNoCase(key, com)) {
          names.push_back(key);
          break;
        }
      }
    }
    for (const auto& key : mapped) {
      if (std::find(names.begin(), names.end(), key) == names.end()) names.push_back(key);
    }
    return names;
  }
#ifdef _WIN32
  return win32::RegistrySerialPorts();
#else
  const auto ports = SystemPorts();
  for (std::size_t i = 0; i < ports.size(); ++i) names.push_back("COM" + std::to_string(i + 1));
  return names;
#endif
}

bool PortIsSimulator(const std::string& name) {
  return EqualsNoCase(MapPortName(name), kSimulatorTarget);
}

std::vector<SerialDevice> ListSerialDevices() {
  std::vector<SerialDevice> devices;
#ifdef _WIN32
  for (auto& name : win32::RegistrySerialPorts())
    devices.push_back(SerialDevice{name, {}, {}, {}, {}});
#else
  sp_port** list = nullptr;
  if (sp_list_ports(&list) != SP_OK || list == nullptr) return devices;
  const auto text = [](const char* s) { return s ? std::string(s) : std::string(); };
  for (int i = 0; list[i] != nullptr; ++i) {
    const char* name = sp_get_port_name(list[i]);
    if (name == nullptr) continue;
    SerialDevice d;
    d.path = name;
    d.description = text(sp_get_port_description(list[i]));
    // Only a USB adapter tells its maker, product and serial number.
    if (sp_get_port_transport(list[i]) == SP_TRANSPORT_USB) {
      d.manufacturer = text(sp_get_port_usb_manufacturer(list[i]));
      d.product = text(sp_get_port_usb_product(list[i]));
      d.serialNumber = text(sp_get_port_usb_serial(list[i]));
    }
    devices.push_back(std::move(d));
  }
  sp_free_port_list(list);
#endif
  return devices;
}

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name) {
  const std::string target = MapPortName(name);
  if (target.empty()) return nullptr;
  std::unique_ptr<SerialPort> port;
  if (EqualsNoCase(target, kSimulatorTarget)) {
    // Called outside the lock: the factory may take a while to bring the simulator up.
    SimulatorPortFactory factory = GetSimulatorPortFactory();
    if (!factory) return nullptr;
    port = factory();
  } else {
#ifdef _WIN32
    port = OpenWin32SerialPort(target);
#else
    port = OpenLibSerialPort(target);
#endif
  }
  if (!port || !port->Configure()) return nullptr;
  // Traced only when a trace is asked for; otherwise the port goes out as it is.
  if (const auto trace = SerialTraceFile(); !trace.empty())
    port = TraceSerialPort(std::move(port), trace, name + " (" + target + ")", kTraceRotateBytes,
                           SerialTraceKeep());
  return port;
}

#ifndef _WIN32
std::unique_ptr<SerialPort> OpenLibSerialPort(const std::string& device) {
  sp_port* port = nullptr;
  if (device.empty() || sp_get_port_by_name(device.c_str(), &port) != SP_OK || port == nullptr)
    return nullptr;
  // On Windows the open itself is exclusive; elsewhere the device is claimed after opening.
  if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
    sp_free_port(port);
    return nullptr;
  }
#ifdef KVT_POSIX_TTY
  if (!ClaimExclusively(port)) {
    sp_close(port);
    sp_free_port(port);
    return nullptr;
  }
#endif
  return std::make_unique<LibSerialPortBackend>(port);
}

#endif  // !_WIN32

}  // namespace platform
