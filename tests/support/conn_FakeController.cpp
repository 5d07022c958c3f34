#include "support/conn_FakeController.h"

#include <algorithm>
#include <deque>

#include "platform/Clock.h"

namespace conntest {

namespace {

class ControllerPort : public platform::SerialPort {
 public:
  explicit ControllerPort(std::shared_ptr<FakeController> c)
      : controller_(std::move(c)), opening_(controller_->Opened()) {}
  ~ControllerPort() override { controller_->Closed(); }

  bool Configure() override { return true; }
  bool SetParity(platform::Parity parity) override {
    parity_ = parity;
    return true;
  }
  platform::Parity CurrentParity() const override { return parity_; }
  bool Purge() override {
    pending_.clear();
    return true;
  }
  int Write(const std::uint8_t* data, std::size_t count) override {
    const Bytes reply = controller_->Answer(opening_, Bytes(data, data + count), parity_);
    pending_.insert(pending_.end(), reply.begin(), reply.end());
    return int(count);
  }
  int Read(std::uint8_t* dest, std::size_t max, int) override {
    const std::size_t n = std::min(max, pending_.size());
    std::copy_n(pending_.begin(), n, dest);
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(n));
    return int(n);
  }

 private:
  std::shared_ptr<FakeController> controller_;
  int opening_;
  platform::Parity parity_ = platform::Parity::Space;
  std::deque<std::uint8_t> pending_;
};

}  // namespace

void FakeController::Install(const std::shared_ptr<FakeController>& controller) {
  platform::SetSimulatorPortFactory(
      [controller] { return std::make_unique<ControllerPort>(controller); });
}

void FakeController::SetAddressAnswers(std::vector<int> bytesPerOpening) {
  std::lock_guard g(m_);
  addressAnswers_ = std::move(bytesPerOpening);
}

void FakeController::SetState(int state) {
  std::lock_guard g(m_);
  script_.state = state;
}

void FakeController::SetAlarmCode(int code) {
  std::lock_guard g(m_);
  script_.alarmCode = code;
}

void FakeController::Kill() {
  std::lock_guard g(m_);
  dead_ = true;
}

void FakeController::SilenceFor(int ms) {
  std::lock_guard g(m_);
  silentUntil_ = platform::TickCount() + std::uint64_t(ms);
}

void FakeController::Revive() {
  std::lock_guard g(m_);
  dead_ = false;
  silentUntil_ = 0;
}

int FakeController::Openings() const {
  std::lock_guard g(m_);
  return openings_;
}

int FakeController::OpenPorts() const {
  std::lock_guard g(m_);
  return open_;
}

std::vector<Bytes> FakeController::Frames() const {
  std::lock_guard g(m_);
  return frames_;
}

int FakeController::PollCount() const {
  std::lock_guard g(m_);
  return polls_;
}

int FakeController::Opened() {
  std::lock_guard g(m_);
  ++open_;
  return ++openings_;
}

void FakeController::Closed() {
  std::lock_guard g(m_);
  --open_;
}

bool FakeController::SilentLocked() const {
  return dead_ || (silentUntil_ != 0 && platform::TickCount() < silentUntil_);
}

Bytes FakeController::Answer(int opening, const Bytes& w, platform::Parity parity) {
  std::lock_guard g(m_);
  if (parity == platform::Parity::Mark) {
    if (SilentLocked() || w.size() != 1 || w[0] != 0x00) return {};
    const int n = std::size_t(opening - 1) < addressAnswers_.size()
                      ? addressAnswers_[std::size_t(opening - 1)]
                      : 1;
    return Bytes(std::size_t(n), 0x00);
  }
  frames_.push_back(w);
  if (SilentLocked()) return {};
  if (w.size() == 1 && w[0] == 0x00) {
    ++polls_;
    return {std::uint8_t(script_.state)};
  }
  if (w.size() < 2) return {};
  const std::uint8_t cmd = w[1];
  if (cmd == 0x2E && w.size() == 2) {
    if (!script_.answerType) return {};
    return {0x03, 0xE0, std::uint8_t(script_.type[0]), std::uint8_t(script_.type[1])};
  }
  if (cmd == 0x2F && w.size() == 2) {
    if (!script_.answerVersion) return {};
    return {0x02, 0xE0, std::uint8_t(script_.version)};
  }
  if (cmd == 0x23 && w.size() == 6) {
    const int n = w[2];
    const std::uint32_t a = std::uint32_t(w[3]) << 16 | std::uint32_t(w[4]) << 8 | w[5];
    Bytes reply{std::uint8_t(n + 1), 0xE0};
    for (int i = 0; i < n; ++i) {
      const std::uint32_t at = a + std::uint32_t(i);
      std::uint8_t b = 0;
      if ((at & 0xFFFF) == 0xFFFF) {
        auto it = script_.moduleCodes.find(int(at >> 16));
        b = it == script_.moduleCodes.end() ? 0xFF : std::uint8_t(it->second);
      } else if ((at & 0xFF) >= 254 && at < 0x10000) {
        auto it = script_.bankChecksums.find(int(at >> 8));
        const std::uint16_t sum = it == script_.bankChecksums.end() ? 0 : it->second;
        b = (at & 0xFF) == 254 ? std::uint8_t(sum >> 8) : std::uint8_t(sum);
      }
      reply.push_back(b);
    }
    return reply;
  }
  if (cmd == 0x44 && w.size() == 3)
    return {0x01, std::uint8_t(script_.badBanks.count(w[2]) ? 0xFC : 0xE0)};
  if (cmd == 0x2A && w.size() == 4) {
    auto it = script_.extensionModules.find(w[2]);
    return {0x02, 0xE0, std::uint8_t(it == script_.extensionModules.end() ? 0xFF : it->second)};
  }
  if (cmd == 0x20 && w.size() == 3 && w[2] == 0x23) {
    return {0x02, 0xE0, std::uint8_t(script_.alarmCode)};
  }
  return {0x01, 0xE0};
}

}  // namespace conntest
