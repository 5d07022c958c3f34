#pragma once
// The serial line seam. Everything above it (the link, the connection set-up, the tools) talks to
// the apparatus only through this interface; the backends are the real line (libserialport) and
// the in-process apparatus simulator.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Parity codes as the Windows DCB numbers them; mark = ninth bit set = address byte.
enum class Parity : int { Mark = 3, Space = 4 };

// A reply ends after this much silence on the line.
inline constexpr int kSilenceMs = 90;

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // 2400 baud, 8 data bits, 1 stop bit, space parity, no parity check on receive, no flow control,
  // DTR off, RTS on. False when the line refused a setting.
  virtual bool Configure() = 0;
  // Switches the ninth bit for the bytes written from now on. Drains the output first, so bytes
  // already written keep the parity they were written with.
  virtual bool SetParity(Parity parity) = 0;
  virtual Parity CurrentParity() const = 0;
  // Discards everything pending in both directions.
  virtual bool Purge() = 0;
  // Returns once the bytes are on the wire (drained), not when the driver has queued them: the
  // silence that ends a reply counts from the last byte sent. Bytes written, or -1 on failure.
  virtual int Write(const std::uint8_t* data, std::size_t count) = 0;
  // Returns as soon as at least one byte is there (up to max bytes), or 0 after timeoutMs with
  // nothing received; -1 when the read failed.
  virtual int Read(std::uint8_t* dest, std::size_t max, int timeoutMs) = 0;
};

// Opens the device a port name ("COM1" .. "COM4") stands for, exclusively, and configures it.
// Null when the name maps to nothing or the device cannot be opened.
std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name);

// The port names the system offers: the names mapped in [Ports] of the settings file when the
// section maps any name; else (no section, or every name in it mapped to nothing) on Windows the
// ports its registry lists, elsewhere the ports libserialport lists (named COM1, COM2, ... in its
// order).
std::vector<std::string> ListSerialPorts();

// The target a port name maps to: a device path, "simulator", or "" when unmapped. Without
// [Ports] (or with a [Ports] that maps every name to nothing), Windows opens a port by its own
// name, elsewhere COMn is the n-th listed port.
std::string MapPortName(const std::string& name);

// The target that stands for the in-process apparatus simulator.
inline constexpr const char* kSimulatorTarget = "simulator";
// Whether the port name maps to the simulator now.
bool PortIsSimulator(const std::string& name);

// A serial device of this machine as the system describes it (empty texts where it tells
// nothing: a built-in port has no maker or serial number).
struct SerialDevice {
  std::string path;  // what [Ports] maps a name to: "/dev/ttyUSB0", or "COM3" on Windows
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
  std::string description;  // the system's own one-line description
};
// The machine's serial devices in the system's order (libserialport; the registry on Windows).
std::vector<SerialDevice> ListSerialDevices();

// The simulator registers how to reach it; a port mapped to "simulator" is opened through it.
using SimulatorPortFactory = std::function<std::unique_ptr<SerialPort>()>;
void SetSimulatorPortFactory(SimulatorPortFactory factory);
// The factory registered now (empty when none), so a caller can put it back after replacing it.
SimulatorPortFactory GetSimulatorPortFactory();

#ifdef _WIN32
// The real line through Win32, opened exclusively by port name ("COM3") or device path
// ("\\.\COM12"). Null on failure.
std::unique_ptr<SerialPort> OpenWin32SerialPort(const std::string& device);
#else
// The real line through libserialport, opened by device path. Null on failure.
std::unique_ptr<SerialPort> OpenLibSerialPort(const std::string& device);
#endif

}  // namespace platform
