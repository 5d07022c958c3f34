#include "support/FakeSerialPort.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/SystemLink.h"

namespace testsupport {

std::vector<Bytes> FakeLine::DataFrames() const {
  std::vector<Bytes> frames;
  for (const Written& w : writes)
    if (w.parity == platform::Parity::Space) frames.push_back(w.bytes);
  return frames;
}

void FakeLine::Queue(const Bursts& bursts) {
  for (const Bytes& b : bursts) pending.push_back(b);
}

bool FakeSerialPort::Configure() {
  ++line_->configures;
  line_->parity = platform::Parity::Space;
  return true;
}

bool FakeSerialPort::SetParity(platform::Parity parity) {
  line_->parity = parity;
  return true;
}

bool FakeSerialPort::Purge() {
  ++line_->purges;
  line_->pending.clear();
  return true;
}

int FakeSerialPort::Write(const std::uint8_t* data, std::size_t count) {
  if (line_->failWrites) return -1;
  Bytes bytes(data, data + count);
  line_->writes.push_back({bytes, line_->parity});
  if (line_->responder) line_->Queue(line_->responder(bytes, line_->parity));
  return int(count);
}

int FakeSerialPort::Read(std::uint8_t* dest, std::size_t max, int /*timeoutMs*/) {
  line_->readSizes.push_back(max);
  if (line_->readSleepMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(line_->readSleepMs));
  if (line_->failReads) return -1;
  if (line_->pending.empty()) return 0;
  Bytes& front = line_->pending.front();
  if (front.empty()) {  // a gap long enough to end a reply
    line_->pending.pop_front();
    return 0;
  }
  const std::size_t n = std::min(max, front.size());
  std::copy_n(front.begin(), n, dest);
  front.erase(front.begin(), front.begin() + std::ptrdiff_t(n));
  if (front.empty()) line_->pending.pop_front();
  return int(n);
}

std::shared_ptr<FakeLine> AttachFakeLine() {
  auto line = std::make_shared<FakeLine>();
  kvt::AttachSharedPort(std::make_unique<FakeSerialPort>(line));
  return line;
}

std::function<Bursts(const Bytes&, platform::Parity)> MemoryResponder(
    std::shared_ptr<Bytes> mem, std::function<Bursts(const Bytes&)> fallback) {
  return [mem, fallback](const Bytes& w, platform::Parity parity) -> Bursts {
    if (parity == platform::Parity::Mark) return {{0x08}};
    if (w.size() == 6 && w[0] == 0x05 && w[1] == 0x23) {
      const std::size_t n = w[2];
      const std::size_t a = std::size_t(w[3]) << 16 | std::size_t(w[4]) << 8 | w[5];
      Bytes reply{0x0A, 0xE0};
      for (std::size_t i = 0; i < n; ++i)
        reply.push_back(a + i < mem->size() ? (*mem)[a + i] : 0xFF);
      return {reply};
    }
    if (w.size() >= 5 && w[1] == 0x01 && w.size() == std::size_t(w[0]) + 1) {
      const std::size_t a = std::size_t(w[2]) << 16 | std::size_t(w[3]) << 8 | w[4];
      for (std::size_t i = 5; i < w.size(); ++i)
        if (a + i - 5 < mem->size()) (*mem)[a + i - 5] = w[i];
      return {{0x01, 0xE0}};
    }
    if (w.size() == 3 && w[0] == 0x02 && w[1] == 0x45) return {{0x01, 0xE0}};
    if (fallback) return fallback(w);
    return {{0x01, 0xE0}};
  };
}

}  // namespace testsupport
