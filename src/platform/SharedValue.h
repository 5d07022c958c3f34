#pragma once
// A process-wide value that the program or a test sets and any thread reads: every access is
// made under the value's own lock, and a reader gets a copy.

#include <mutex>
#include <utility>

namespace platform {

template <class T>
class SharedValue {
 public:
  void Set(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }
  T Get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  // fn(value) with the lock held, for a use that must not race with Set (a handler being
  // replaced while it runs).
  template <class Fn>
  void Use(Fn&& fn) const {
    std::lock_guard lock(mutex_);
    fn(value_);
  }

 private:
  mutable std::mutex mutex_;
  T value_{};
};

}  // namespace platform
