#pragma once
// A worker thread with a cancellation flag and a best-effort priority, in the manner the tools
// need: started at once or later, asked to end, waited for, or left to free itself at its end.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

enum class ThreadPriority { Idle, Normal, TimeCritical };

class Thread {
 public:
  explicit Thread(ThreadPriority priority = ThreadPriority::Normal);
  // Asks the thread to end and waits for it (never call from the thread itself unless it has
  // ended).
  virtual ~Thread();
  // A derived class whose Execute uses its own members must stop the thread in its own destructor
  // (Terminate, then WaitFor): by the time this one runs, the derived part is gone.
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  void Start();
  // Sets the cancellation flag and wakes the thread out of Sleep.
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  // Waits for Execute to return. On the interface thread the wait keeps serving Synchronize.
  void WaitFor();
  bool Finished() const { return finished_.load(); }
  void SetPriority(ThreadPriority priority);
  ThreadPriority Priority() const { return priority_.load(); }

  // With free-on-end set before Start, the object (created with new) deletes itself when Execute
  // returns; the owner must then not touch it after it may have ended (use the OnEnd hook to hear
  // of it), and must not call WaitFor on it.
  void SetFreeOnTerminate(bool free) { freeOnTerminate_ = free; }

 protected:
  virtual void Execute() = 0;
  // Runs on the thread after Execute returns, before a self-deleting object is deleted.
  virtual void OnEnd() {}
  // Sleeps up to ms; returns early (false) when cancellation is requested. True = slept fully.
  bool Sleep(int ms);

 private:
  void Run();
  void ApplyPriority();

  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> started_{false};
  bool freeOnTerminate_ = false;
  std::atomic<ThreadPriority> priority_;
  std::atomic<long> tid_{0};  // the kernel's id of the running thread, for priority changes
  std::mutex m_;
  std::condition_variable cv_;
};

}  // namespace platform
