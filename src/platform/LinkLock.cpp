#include "platform/LinkLock.h"

#include "platform/Ui.h"

namespace platform {

bool LinkLock::TryLock() {
  std::lock_guard lock(m_);
  const auto me = std::this_thread::get_id();
  if (depth_ == 0) {
    owner_ = me;
    depth_ = 1;
    return true;
  }
  if (owner_ == me) {
    ++depth_;
    return true;
  }
  return false;
}

void LinkLock::Lock() {
  if (TryLock()) return;
  Ui& ui = CurrentUi();
  if (ui.IsInterfaceThread()) {
    // The holder may be a worker waiting in Synchronize for this very thread: keep serving.
    ui.WaitServing([this] { return TryLock(); });
    return;
  }
  std::unique_lock lock(m_);
  cv_.wait(lock, [this] { return depth_ == 0; });
  owner_ = std::this_thread::get_id();
  depth_ = 1;
}

void LinkLock::Unlock() {
  {
    std::lock_guard lock(m_);
    // Releasing a lock this thread does not hold is a caller's fault; ignoring it keeps the
    // real holder's lock intact.
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
    if (--depth_ > 0) return;
    owner_ = std::thread::id{};
  }
  cv_.notify_all();
  CurrentUi().Wake();
}

bool LinkLock::HeldByMe() const {
  std::lock_guard lock(m_);
  return depth_ > 0 && owner_ == std::this_thread::get_id();
}

int LinkLock::Depth() const {
  std::lock_guard lock(m_);
  return depth_;
}

LinkLock& TheLinkLock() {
  static LinkLock lock;
  return lock;
}

}  // namespace platform
