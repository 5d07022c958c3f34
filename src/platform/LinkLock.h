#pragma once
// The device lock: one program-wide re-entrant mutex that every exchange with the apparatus holds
// from its first byte written to its last reply read. Waits have no time-out. On the interface
// thread a wait keeps serving Synchronize calls, so a worker that holds the lock and waits for
// the interface thread can never deadlock with it.

#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

class LinkLock {
 public:
  void Lock();
  void Unlock();
  bool TryLock();
  // True when the calling thread holds the lock.
  bool HeldByMe() const;
  int Depth() const;

  class Guard {
   public:
    explicit Guard(LinkLock& lock) : lock_(lock) { lock_.Lock(); }
    ~Guard() { lock_.Unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    LinkLock& lock_;
  };

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  std::thread::id owner_{};
  int depth_ = 0;
};

// The program's one device lock.
LinkLock& TheLinkLock();

}  // namespace platform
