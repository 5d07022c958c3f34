// The link object: transport over the program's one shared serial port and the command protocol
// of the main controller.

#include "link/SystemLink.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "link/SharedPort.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"

namespace kvt {

namespace {

// The program's one open port. Every object talks through it; the mutex keeps a port that one
// thread closes from being freed under another thread's read (callers hold the device lock
// anyway, this only makes a misuse harmless).
struct SharedPort {
  std::mutex m;
  std::unique_ptr<platform::SerialPort> port;
  std::uint64_t generation = 0;  // of the port held now; 0 when none
  std::uint64_t lastGeneration = 0;
};

SharedPort& Shared() {
  // Never destroyed: objects may still talk (and fail cleanly) during the program's exit.
  static SharedPort* shared = new SharedPort;
  return *shared;
}

// A reply longer than its buffer is read on and dropped until the line falls silent, so that the
// tail does not turn up as the next exchange's reply; a line that babbles without end is given up
// after this many dropped bytes (about 4 s at 2400 baud).
constexpr std::size_t kMaxDiscard = 1024;

// Replies to a memory read: header, code and up to 8 data bytes, with room for two more.
constexpr std::size_t kMemoryReplySize = 12;
constexpr std::uint32_t kChunk = 8;
constexpr std::uint32_t kReplyChunk = 100;

// Bytes 0x000000 .. 0x00FFFF: page 0, the main controller's memory.
constexpr std::uint32_t kPageSize = 0x10000;

int Percent(std::uint64_t done, std::uint64_t total) {
  return int(done * 100 / total);
}

// Walks count bytes from address in the chunks one memory frame carries: each(a, n, done) for the
// n bytes at a, done bytes into the walk; false from it stops the walk. progress hears the share
// done after each chunk.
template <class Each>
void ForEachChunk(std::uint32_t address, std::uint32_t count, const ProgressCallback& progress,
                  Each&& each) {
  std::uint32_t done = 0;
  while (done < count) {
    const std::uint32_t n = std::min(kChunk, count - done);
    if (!each(address + done, n, done)) return;
    done += n;
    if (progress) progress(Percent(done, count));
  }
}

}  // namespace

// ----------------------------------------------------------------------------- frames

Frame MakeFrame(std::initializer_list<std::uint8_t> bytes) {
  Frame frame;
  std::size_t i = 0;
  for (std::uint8_t b : bytes) {
    if (i == frame.bytes.size()) break;
    frame.bytes[i++] = b;
  }
  return frame;
}

namespace frames {
Frame PowerOn() {
  return Simple(0x4D);
}
Frame PowerOff() {
  return Simple(0x40);
}
Frame UnderHeatOn() {
  return Simple(0x47);
}
Frame SystemType() {
  return Simple(0x2E);
}
Frame SoftwareVersion() {
  return Simple(0x2F);
}
Frame K4Identified() {
  return MakeFrame({0x04, 0x04, 0x8A, 0x00, 0x4D});
}
Frame ReadVariable(std::uint8_t v) {
  return MakeFrame({0x02, 0x20, v});
}
Frame Query(std::uint8_t a, std::uint8_t b) {
  return MakeFrame({0x03, 0x21, a, b});
}
Frame CheckBank(std::uint8_t bank) {
  return MakeFrame({0x02, 0x44, bank});
}
Frame Commit(std::uint8_t g) {
  return MakeFrame({0x02, 0x45, g});
}
Frame ReadCounter(std::uint8_t selector) {
  return MakeFrame({0x02, 0x27, selector});
}
Frame ExtensionModule(std::uint8_t m) {
  return MakeFrame({0x03, 0x2A, m, 0xFF});
}
Frame SetOutput(std::uint8_t p, std::uint8_t v) {
  return MakeFrame({0x03, 0x00, p, v});
}
Frame ShotParameters(std::uint8_t kv, std::uint8_t ma, std::uint16_t time) {
  return MakeFrame({0x05, 0x03, kv, ma, std::uint8_t(time >> 8), std::uint8_t(time)});
}
Frame HeatShot(std::uint16_t code, std::uint16_t time) {
  return MakeFrame({0x05, 0x52, std::uint8_t(code >> 8), std::uint8_t(code),
                    std::uint8_t(time >> 8), std::uint8_t(time)});
}
Frame SetHeatCode(std::uint16_t code) {
  return MakeFrame({0x03, 0x48, std::uint8_t(code >> 8), std::uint8_t(code)});
}
Frame ReadChannel(std::uint8_t c) {
  return MakeFrame({0x02, 0x43, c});
}
Frame MeasurementPair(std::uint8_t i) {
  return MakeFrame({0x02, 0x61, i});
}
Frame StoreProgram(std::uint8_t p) {
  return MakeFrame({0x02, 0x10, p});
}
Frame ReadProgram(std::uint8_t p) {
  return MakeFrame({0x02, 0x30, p});
}
Frame Simple(std::uint8_t command) {
  return MakeFrame({0x01, command});
}
}  // namespace frames

// ----------------------------------------------------------------------------- the shared port

bool SharedPortOpen() {
  SharedPort& s = Shared();
  std::lock_guard lock(s.m);
  return s.port != nullptr;
}

void CloseSharedPort() {
  std::unique_ptr<platform::SerialPort> old;
  SharedPort& s = Shared();
  {
    std::lock_guard lock(s.m);
    old = std::move(s.port);
    s.generation = 0;
  }
  // old closes here, outside the lock.
}

std::uint64_t SharedPortGeneration() {
  SharedPort& s = Shared();
  std::lock_guard lock(s.m);
  return s.generation;
}

std::uint64_t AttachSharedPort(std::unique_ptr<platform::SerialPort> port) {
  std::unique_ptr<platform::SerialPort> old;
  SharedPort& s = Shared();
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(s.m);
    old = std::move(s.port);
    s.port = std::move(port);
    s.generation = s.port ? ++s.lastGeneration : 0;
    generation = s.generation;
  }
  return generation;
}

// ----------------------------------------------------------------------------- the lock contract

namespace {
// Every exchange holds the device lock from its first byte written to its last reply read; the
// checking builds stop at the first exchange that does not, naming it.
void ExpectDeviceLock([[maybe_unused]] const char* where) {
#ifdef KVT_CHECK_DEVICE_LOCK
  if (platform::TheLinkLock().HeldByMe()) return;
  std::fprintf(stderr, "TSystemLink::%s without the device lock\n", where);
  std::abort();
#endif
}
}  // namespace

// ----------------------------------------------------------------------------- construction

TSystemLink::TSystemLink() = default;

TSystemLink::TSystemLink(const std::string& portName) {
  ownsPort_ = true;
  lastOk_ = false;
  isOpen_ = false;
  // Only one port is open at a time. A previous one still held is closed rather than forgotten,
  // so that its handle is neither leaked nor kept from the new opening.
  CloseSharedPort();
  if (portName.empty()) return;
  // Opens exclusively and applies the line settings; null when either failed.
  std::unique_ptr<platform::SerialPort> port = platform::OpenSerialPort(portName);
  if (!port) return;
  openedGeneration_ = AttachSharedPort(std::move(port));
  lastOk_ = true;
  isOpen_ = true;
}

TSystemLink::~TSystemLink() {
  if (!ownsPort_ || openedGeneration_ == 0) return;
  std::unique_ptr<platform::SerialPort> old;
  SharedPort& s = Shared();
  {
    std::lock_guard lock(s.m);
    if (s.generation != openedGeneration_) return;  // someone opened the line anew since
    old = std::move(s.port);
    s.generation = 0;
  }
}

// ----------------------------------------------------------------------------- transport

std::uint32_t TSystemLink::Write(std::uint32_t count, const std::uint8_t* bytes) {
  ExpectDeviceLock("Write");
  SharedPort& s = Shared();
  std::lock_guard lock(s.m);
  if (!s.port) {
    lastOk_ = false;
    lastCount_ = 0;
    return 0;
  }
  // Whatever an earlier reply left unread is dropped: every exchange starts on a clean line.
  s.port->Purge();
  int written = count == 0 ? 0 : s.port->Write(bytes, count);
  // A frame that went out only in part is a failed write, whatever the driver said.
  lastOk_ = written >= 0 && std::uint32_t(written) == count;
  lastCount_ = written < 0 ? 0 : std::min<std::uint32_t>(std::uint32_t(written), count);
  return lastCount_;
}

std::uint32_t TSystemLink::WriteBytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(values.size());
  for (int v : values) bytes.push_back(std::uint8_t(v & 0xFF));
  return Write(std::uint32_t(bytes.size()), bytes.data());
}

std::uint32_t TSystemLink::WriteBytes(const std::vector<std::uint8_t>& values) {
  return Write(std::uint32_t(values.size()), values.data());
}

std::uint32_t TSystemLink::ReadInto(std::uint8_t* dest, std::size_t capacity, std::uint32_t chunk) {
  ExpectDeviceLock("Read");
  if (chunk == 0) chunk = 1;
  if (dest == nullptr) capacity = 0;
  std::uint8_t scratch[kReplyChunk];
  std::size_t total = 0;
  std::size_t discarded = 0;
  bool ok = true;
  SharedPort& s = Shared();
  for (;;) {
    const bool storing = total < capacity;
    if (!storing && discarded >= kMaxDiscard) break;
    std::uint8_t* to = storing ? dest + total : scratch;
    const std::size_t room =
        storing ? capacity - total : std::min(sizeof scratch, kMaxDiscard - discarded);
    const std::size_t want = std::min<std::size_t>(chunk, room);
    int got;
    {
      std::lock_guard lock(s.m);
      if (!s.port) {
        ok = false;
        break;
      }
      got = s.port->Read(to, want, platform::kSilenceMs);
    }
    if (got < 0) {
      ok = false;
      break;
    }
    ok = true;
    if (got == 0) break;  // silence ends the reply
    const std::size_t n = std::min<std::size_t>(std::size_t(got), want);
    if (storing)
      total += n;
    else
      discarded += n;
  }
  lastOk_ = ok;
  lastCount_ = std::uint32_t(total);
  return lastCount_;
}

std::uint32_t TSystemLink::Read(std::uint32_t chunk) {
  return ReadInto(rxBuffer_.data(), rxBuffer_.size(), chunk);
}

bool TSystemLink::SetParity(platform::Parity parity) {
  ExpectDeviceLock("SetParity");
  SharedPort& s = Shared();
  std::lock_guard lock(s.m);
  if (!s.port) return false;
  return s.port->SetParity(parity);
}

bool TSystemLink::SelectModule(std::uint8_t address) {
  SetParity(platform::Parity::Mark);
  WriteBytes({address});
  Read(1);
  // Back to data bytes whether or not the module answered.
  return SetParity(platform::Parity::Space);
}

// ----------------------------------------------------------------------------- protocol

void TSystemLink::SendFrame(const Frame& frame) {
  ExpectDeviceLock("SendFrame");
  Write(std::uint32_t(frame.Size()), frame.bytes.data());
  Read(kReplyChunk);
}

std::uint8_t TSystemLink::PollState() {
  WriteBytes({0x00});
  Read(1);
  return rxBuffer_[0];
}

void TSystemLink::ReadMemory(std::uint32_t address, std::uint32_t count, std::uint8_t* dest,
                             const ProgressCallback& progress) {
  ExpectDeviceLock("ReadMemory");
  transferOk_ = true;
  ForEachChunk(address, count, progress, [&](std::uint32_t a, std::uint32_t n, std::uint32_t done) {
    SetCurAddress(a);
    const std::uint8_t frame[6] = {
        0x05, 0x23, std::uint8_t(n), std::uint8_t(a >> 16), std::uint8_t(a >> 8), std::uint8_t(a)};
    Write(sizeof frame, frame);
    const bool written = lastOk_;
    // A fresh buffer per chunk: a silent or short reply gives zeros, never an earlier chunk's
    // bytes or stack garbage.
    std::uint8_t reply[kMemoryReplySize] = {};
    const std::uint32_t got = ReadInto(reply, sizeof reply, kReplyChunk);
    // A refusal is no data, however many bytes came with it.
    if (!written || got < n + 2 || reply[1] == kReplyRefused) transferOk_ = false;
    std::copy_n(reply + 2, n, dest + done);
    return true;
  });
}

void TSystemLink::WriteMemory(std::uint32_t address, std::uint32_t count, const std::uint8_t* src,
                              const ProgressCallback& progress) {
  ExpectDeviceLock("WriteMemory");
  transferOk_ = true;
  ForEachChunk(address, count, progress, [&](std::uint32_t a, std::uint32_t n, std::uint32_t done) {
    SetCurAddress(a);
    std::uint8_t frame[5 + kChunk];
    frame[0] = std::uint8_t(n + 4);
    frame[1] = 0x01;
    frame[2] = std::uint8_t(a >> 16);
    frame[3] = std::uint8_t(a >> 8);
    frame[4] = std::uint8_t(a);
    std::copy_n(src + done, n, frame + 5);
    Write(5 + n, frame);
    const bool written = lastOk_;
    Read(kReplyChunk);
    // A chunk the controller did not take stops the write before the commit frames: committing
    // would recompute the bank checksums over a mix of old and new bytes and hide the damage,
    // and a dead line is not written to for seconds more.
    if (!written || !Acknowledged()) transferOk_ = false;
    return transferOk_;
  });
  if (!transferOk_) return;
  // The controller takes the written bytes over (and recomputes its bank checksums) only on these.
  for (std::uint8_t g = 0; g <= 4; ++g) {
    SendFrame(frames::Commit(g));
    if (!Acknowledged()) transferOk_ = false;
  }
}

bool TSystemLink::Acknowledged() const {
  return lastCount_ >= 2 && rxBuffer_[1] != kReplyRefused;
}

bool TSystemLink::CheckBank(std::uint8_t bank) {
  SendFrame(frames::CheckBank(bank));
  // The buffer keeps an earlier reply when nothing came: only a fresh answer counts.
  return lastCount_ >= 2 && rxBuffer_[1] == kReplyAccepted;
}

namespace {
std::uint16_t Word(const std::uint8_t* b) {
  return std::uint16_t(b[0] << 8 | b[1]);
}

// A big-endian word of memory (LastTransferOk tells whether it came).
std::uint16_t ReadWord(TSystemLink& link, std::uint32_t address) {
  std::uint8_t b[2];
  link.ReadMemory(address, 2, b);
  return Word(b);
}
}  // namespace

std::uint16_t TSystemLink::ReadBankChecksum(std::uint8_t bank) {
  return ReadWord(*this, std::uint32_t(bank) * 256 + 254);
}

std::uint16_t TSystemLink::ReadTableStart() {
  return ReadWord(*this, addr::kTableStart);
}

std::uint16_t TSystemLink::ReadTableEnd() {
  return ReadWord(*this, addr::kTableEnd);
}

std::uint16_t TSystemLink::ReadTableStep() {
  return ReadWord(*this, addr::kTableStep);
}

std::vector<std::uint16_t> TSystemLink::ReadCalibrationTable(const ProgressCallback& progress) {
  const int start = ReadTableStart();
  const int end = ReadTableEnd();
  const int step = ReadTableStep();
  // A header that makes no sense (blank or damaged memory) gives no table rather than a division
  // by zero or a read of a negative or page-sized length.
  if (step == 0 || end < start) return {};
  const long bytes = (long(end - start) / step * 8 + 16) * 2;
  if (addr::kCalibrationTable + std::uint64_t(bytes) > kPageSize) return {};
  std::vector<std::uint8_t> raw(std::size_t(bytes), 0);
  ReadMemory(addr::kCalibrationTable, std::uint32_t(bytes), raw.data(), progress);
  std::vector<std::uint16_t> words(raw.size() / 2);
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = Word(&raw[2 * i]);
  return words;
}

std::vector<std::uint8_t> TSystemLink::ReadResistanceTable(const ProgressCallback& progress) {
  const int start = ReadTableStart();
  const int end = ReadTableEnd();
  const long n = long(end) - start + 1;
  if (n <= 0) return {};
  const std::uint32_t from = addr::kResistanceTable + std::uint32_t(start & 0xFF);
  if (from + std::uint64_t(n) > kPageSize) return {};
  std::vector<std::uint8_t> table(std::size_t(n), 0);
  ReadMemory(from, std::uint32_t(n), table.data(), progress);
  return table;
}

std::array<std::uint16_t, 8> TSystemLink::ReadShotHeader() {
  std::uint8_t raw[16];
  ReadMemory(addr::kCalibrationTable, sizeof raw, raw);
  std::array<std::uint16_t, 8> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = Word(&raw[2 * i]);
  return words;
}

std::vector<int> TSystemLink::ReadLastShotCurves(const ProgressCallback& progress, bool absolute) {
  // Every read of the way must have come back: a bank or count from a silent line would give
  // another place's bytes as the curves. LastTransferOk tells it afterwards.
  std::uint8_t kuan = 0;
  ReadMemory(addr::kKuan, 1, &kuan);
  // The voltage samples are divided by KUAN; with 0 there is nothing sensible to show.
  if (kuan == 0 || !transferOk_) return {};
  const double k = kuan * 0.01;

  std::uint8_t bank = 0;
  ReadMemory(addr::kShotBank, 1, &bank);
  if (!transferOk_) return {};
  const std::uint32_t base = std::uint32_t(bank) * 256;
  std::uint8_t countWord[2];
  ReadMemory(base, 2, countWord);
  if (!transferOk_) return {};
  std::uint32_t n = 20u * Word(countWord) + 20u;
  // The curves lie in the main controller's page; a damaged count word must not send the read
  // through other modules' pages for hours.
  n = std::min(n, kPageSize - (base + 2));

  std::vector<std::uint8_t> b(n, 0);
  ReadMemory(base + 2, n, b.data(), progress);
  if (!transferOk_) return {};

  // The last sample of every half-wave of each curve becomes the zero line (128).
  auto above = [](std::uint8_t v) { return v > 128; };
  for (std::size_t i = 0; i + 2 < n; i += 2) {
    if (above(b[i]) != above(b[i + 2])) b[i] = 128;
    if (i + 3 < n && above(b[i + 1]) != above(b[i + 3])) b[i + 1] = 128;
  }

  const double m = ReadSystemType() == "K4" ? 3.9 : 3.125;
  std::vector<int> samples;
  for (std::size_t i = 0; i < n && b[i] != 0; ++i) {
    const int f = int(b[i]) - 128;
    const double v = (i % 2 == 0) ? f / k * 2 : f * m;
    int value = int(v + 0.5);
    if (absolute && value < 0) value = -value;
    samples.push_back(value);
  }
  return samples;
}

double TSystemLink::ReadCounter(std::uint8_t selector) {
  SendFrame(frames::ReadCounter(selector));
  if (lastCount_ < 7) return -1;
  double value = 0;
  for (std::size_t i = 2; i < 7; ++i) {
    const int hi = rxBuffer_[i] >> 4;
    const int lo = rxBuffer_[i] & 0x0F;
    if (hi > 9 || lo > 9) return -1;  // not a counter reading
    value = value * 100 + hi * 10 + lo;
  }
  if (selector == 2) value *= 0.01;
  return value;
}

std::string TSystemLink::ReadSystemType() {
  SendFrame(frames::SystemType());
  if (lastCount_ < 4) return {};
  return std::string{char(rxBuffer_[2]), char(rxBuffer_[3])};
}

void TSystemLink::Delay(int ms) {
  platform::Delay(ms);
}

}  // namespace kvt
