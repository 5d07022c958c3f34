#include "sim/SimulatorBackend.h"

#include <algorithm>
#include <thread>

namespace sim {

SimulatorBackend::SimulatorBackend(std::shared_ptr<Apparatus> apparatus)
    : apparatus_(std::move(apparatus)),
      timing_(apparatus_->TimingMode()),
      latency_(apparatus_->LatencyMs()) {}

bool SimulatorBackend::Configure() {
  std::lock_guard<std::mutex> g(m_);
  parity_ = platform::Parity::Space;
  return true;
}

bool SimulatorBackend::SetParity(platform::Parity parity) {
  std::unique_lock<std::mutex> lk(m_);
  if (timing_ == Timing::Realistic) {
    // Drain: the bytes already written go out with the parity they were written with.
    SimTime drained = txFree_;
    lk.unlock();
    std::this_thread::sleep_until(drained);
    lk.lock();
  }
  parity_ = parity;
  return true;
}

platform::Parity SimulatorBackend::CurrentParity() const {
  std::lock_guard<std::mutex> g(m_);
  return parity_;
}

bool SimulatorBackend::Purge() {
  std::lock_guard<std::mutex> g(m_);
  rx_.clear();
  rxFree_ = std::min(rxFree_, SimClock::now());
  return true;
}

int SimulatorBackend::Write(const std::uint8_t* data, std::size_t count) {
  if (count > 0 && data == nullptr) return -1;
  std::unique_lock<std::mutex> lk(m_);
  const SimTime now = SimClock::now();
  const bool mark = parity_ == platform::Parity::Mark;
  const bool realistic = timing_ == Timing::Realistic;
  for (std::size_t i = 0; i < count; ++i) {
    SimTime at = now;
    if (realistic) {
      txFree_ = std::max(txFree_, now) + kByteTime;
      at = txFree_;
    }
    std::vector<std::uint8_t> reply = apparatus_->Receive(data[i], mark, at);
    if (reply.empty()) continue;
    SimTime t = now;
    if (realistic) t = std::max(at + latency_, rxFree_);
    for (std::uint8_t b : reply) {
      if (realistic) t += kByteTime;
      rx_.push_back({b, t});
    }
    if (realistic) rxFree_ = t;
  }
  cv_.notify_all();
  if (realistic) {
    // The write completes when its last byte has left, as the real line's does: the silence
    // that ends the reply is measured from there, not from handing the bytes over.
    const SimTime sent = txFree_;
    lk.unlock();
    std::this_thread::sleep_until(sent);
  }
  return static_cast<int>(count);
}

int SimulatorBackend::Read(std::uint8_t* dest, std::size_t max, int timeoutMs) {
  if (max == 0) return 0;
  if (dest == nullptr) return -1;
  std::unique_lock<std::mutex> lk(m_);
  auto take = [&](SimTime upTo) {
    std::size_t n = 0;
    while (n < max && !rx_.empty() && rx_.front().at <= upTo) {
      dest[n++] = rx_.front().byte;
      rx_.pop_front();
    }
    return static_cast<int>(n);
  };
  if (timing_ == Timing::Instant) return take(SimTime::max());

  const SimTime deadline = SimClock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
  for (;;) {
    SimTime now = SimClock::now();
    if (!rx_.empty() && rx_.front().at <= now) return take(now);
    if (now >= deadline) return 0;
    SimTime wake = deadline;
    if (!rx_.empty()) wake = std::min(wake, rx_.front().at);
    cv_.wait_until(lk, wake);
  }
}

}  // namespace sim
