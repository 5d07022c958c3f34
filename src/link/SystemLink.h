#pragma once
// The link object: the serial transport with its ninth-bit addressing and the command protocol of
// the main controller. One port is open in the whole program; every TSystemLink talks through it.
// Callers hold the device lock (platform::TheLinkLock()) for every exchange.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/SerialPort.h"

namespace kvt {

// Progress of a memory transfer in percent (bytes done * 100 / bytes in total).
using ProgressCallback = std::function<void(int percent)>;

inline constexpr std::size_t kRxBufferSize = 500;
inline constexpr std::uint8_t kMainControllerAddress = 0x00;
inline constexpr std::uint8_t kVoltageMeterAddress = 0x10;
inline constexpr std::uint8_t kReplyAccepted = 0xE0;
inline constexpr std::uint8_t kReplyRefused = 0xFC;

// Memory locations of page 0 that the program uses.
namespace addr {
inline constexpr std::uint32_t kKuan = 0x000013;
inline constexpr std::uint32_t kKmes = 0x000015;
inline constexpr std::uint32_t kShotBank = 0x00001E;
inline constexpr std::uint32_t kRotationTimes = 0x000020;
inline constexpr std::uint32_t kRotationCurrents = 0x000023;
inline constexpr std::uint32_t kCorrectionSwitch = 0x000040;
inline constexpr std::uint32_t kPanelSync = 0x000041;
inline constexpr std::uint32_t kK4Coefficients = 0x000080;
inline constexpr std::uint32_t kHeatCheckMarker = 0x000135;
inline constexpr std::uint32_t kTableStart = 0x000200;
inline constexpr std::uint32_t kTableEnd = 0x000202;
inline constexpr std::uint32_t kTableStep = 0x000204;
inline constexpr std::uint32_t kCalibrationTable = 0x000210;
inline constexpr std::uint32_t kResistanceTable = 0x000300;
inline constexpr std::uint32_t kHeatFeedbackSwitch = 0x034000;
inline constexpr std::uint32_t kRotationMode = 0x040000;
// The module code of the module in a page lies in the page's last byte.
constexpr std::uint32_t ModuleCode(int page) {
  return std::uint32_t(page) * 0x10000u + 0xFFFFu;
}
}  // namespace addr

// A preset frame: header byte (module nibble << 4 | count of following bytes), then the bytes.
struct Frame {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t Size() const { return std::size_t(bytes[0] & 0x0F) + 1; }
};
Frame MakeFrame(std::initializer_list<std::uint8_t> bytes);

namespace frames {
// The fixed frames of the command set; parameters are filled in by the senders.
Frame PowerOn();                                                             // 01 4D
Frame PowerOff();                                                            // 01 40
Frame UnderHeatOn();                                                         // 01 47
Frame SystemType();                                                          // 01 2E
Frame SoftwareVersion();                                                     // 01 2F
Frame K4Identified();                                                        // 04 04 8A 00 4D
Frame ReadVariable(std::uint8_t v);                                          // 02 20 v
Frame Query(std::uint8_t a, std::uint8_t b);                                 // 03 21 a b
Frame CheckBank(std::uint8_t bank);                                          // 02 44 b
Frame Commit(std::uint8_t g);                                                // 02 45 g
Frame ReadCounter(std::uint8_t selector);                                    // 02 27 s
Frame ExtensionModule(std::uint8_t m);                                       // 03 2A m FF
Frame SetOutput(std::uint8_t p, std::uint8_t v);                             // 03 00 p v
Frame ShotParameters(std::uint8_t kv, std::uint8_t ma, std::uint16_t time);  // 05 03 U I Th Tl
Frame HeatShot(std::uint16_t code, std::uint16_t time);                      // 05 52 ch cl th tl
Frame SetHeatCode(std::uint16_t code);                                       // 03 48 h l
Frame ReadChannel(std::uint8_t c);                                           // 02 43 c
Frame MeasurementPair(std::uint8_t i);                                       // 02 61 i
Frame StoreProgram(std::uint8_t p);                                          // 02 10 p
Frame ReadProgram(std::uint8_t p);                                           // 02 30 p
Frame Simple(std::uint8_t command);                                          // 01 cmd
}  // namespace frames

class TSystemLink {
 public:
  // Without a port name: talks through the shared port, never closes it.
  TSystemLink();
  // With a port name: opens and configures the port and owns it (LastOk and IsOpen tell).
  explicit TSystemLink(const std::string& portName);
  virtual ~TSystemLink();
  TSystemLink(const TSystemLink&) = delete;
  TSystemLink& operator=(const TSystemLink&) = delete;

  // --- transport ---
  std::uint32_t Write(std::uint32_t count, const std::uint8_t* bytes);
  std::uint32_t WriteBytes(std::initializer_list<int> values);
  std::uint32_t WriteBytes(const std::vector<std::uint8_t>& values);
  // Collects a reply until 90 ms of silence; never stores beyond capacity (excess is dropped).
  std::uint32_t ReadInto(std::uint8_t* dest, std::size_t capacity, std::uint32_t chunk);
  std::uint32_t Read(std::uint32_t chunk);
  bool SetParity(platform::Parity parity);
  bool SelectModule(std::uint8_t address);

  // --- protocol ---
  void SendFrame(const Frame& frame);
  std::uint8_t PollState();
  void ReadMemory(std::uint32_t address, std::uint32_t count, std::uint8_t* dest,
                  const ProgressCallback& progress = nullptr);
  void WriteMemory(std::uint32_t address, std::uint32_t count, const std::uint8_t* src,
                   const ProgressCallback& progress = nullptr);
  bool CheckBank(std::uint8_t bank);
  std::uint16_t ReadBankChecksum(std::uint8_t bank);
  std::uint16_t ReadTableStart();
  std::uint16_t ReadTableEnd();
  std::uint16_t ReadTableStep();
  // The progress callbacks stand in for the progress window the caller shows
  // ("Чтение калибровочной таблицы...", "Чтение таблицы сопротивлений...").
  // Both give an empty table when the table header is impossible (step 0, end before start, or a
  // table that would run past the end of page 0).
  std::vector<std::uint16_t> ReadCalibrationTable(const ProgressCallback& progress = nullptr);
  std::vector<std::uint8_t> ReadResistanceTable(const ProgressCallback& progress = nullptr);
  std::array<std::uint16_t, 8> ReadShotHeader();
  // Empty when KUAN is 0 (the voltage samples cannot be scaled).
  std::vector<int> ReadLastShotCurves(const ProgressCallback& progress, bool absolute);
  // -1 when the reply is short or a nibble is not a decimal digit (a counter is never negative).
  double ReadCounter(std::uint8_t selector);
  // Empty when the controller does not answer with at least the two letters.
  std::string ReadSystemType();
  void Delay(int ms);

  // --- state ---
  bool OwnsPort() const { return ownsPort_; }
  bool LastOk() const { return lastOk_; }
  std::uint32_t LastCount() const { return lastCount_; }
  bool IsOpen() const { return isOpen_; }
  const std::array<std::uint8_t, kRxBufferSize>& RxBuffer() const { return rxBuffer_; }
  std::uint32_t CurAddress() const { return curAddress_; }
  // True when every chunk of the last ReadMemory or WriteMemory (commit frames included) went out
  // whole and was answered, not refused (0xFC): a memory read with the header, the code and all
  // its data bytes, a write chunk with at least the header and the code. A write stops at its
  // first failed chunk and then sends no commit frames.
  bool LastTransferOk() const { return transferOk_; }

 protected:
  bool ownsPort_ = false;
  std::array<std::uint8_t, kRxBufferSize> rxBuffer_{};
  bool lastOk_ = false;
  std::uint32_t lastCount_ = 0;
  bool isOpen_ = false;
  std::uint32_t curAddress_ = 0;

 private:
  void SetCurAddress(std::uint32_t address) { curAddress_ = address & 0xFFFFFFu; }
  // The last reply carries a code and the code is not the refusal.
  bool Acknowledged() const;
  // Which opening of the shared port this object made (0 = none): destruction closes the port only
  // while it is still that one, so a stale connection object never closes a newer connection.
  std::uint64_t openedGeneration_ = 0;
  bool transferOk_ = false;
};

// Whether the program's one port is open now.
bool SharedPortOpen();
// Closes the shared port (the connection object's destruction does this).
void CloseSharedPort();
// Makes port the program's shared port, closing any previous one. For a caller that opened the
// line itself (tests with a scripted line, tools); the result is the opening's generation number.
std::uint64_t AttachSharedPort(std::unique_ptr<platform::SerialPort> port);

}  // namespace kvt
