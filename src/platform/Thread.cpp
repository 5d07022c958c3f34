#include "platform/Thread.h"

#include <chrono>

#include "platform/Ui.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#elif defined(_WIN32)
#include "platform/win32/Win32.h"
#endif

namespace platform {

Thread::Thread(ThreadPriority priority) : priority_(priority) {}

Thread::~Thread() {
  Terminate();
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // deleted from its own Execute: nothing left to wait for
    return;
  }
  WaitFor();
}

void Thread::Start() {
  if (started_.exchange(true)) return;
  // Run takes m_ before anything else, so a self-freeing thread cannot detach or delete itself
  // before thread_ holds it.
  std::lock_guard lock(m_);
  thread_ = std::thread(&Thread::Run, this);
}

void Thread::Run() {
  {
    std::lock_guard lock(m_);
    if (freeOnTerminate_) thread_.detach();
  }
#if defined(__linux__)
  tid_.store(static_cast<long>(::syscall(SYS_gettid)));
#elif defined(_WIN32)
  tid_.store(win32::CurrentThreadId());
#endif
  ApplyPriority();
  Execute();
  OnEnd();
  if (freeOnTerminate_) {
    delete this;
    return;
  }
  tid_.store(0);
  finished_.store(true);
  CurrentUi().Wake();
}

void Thread::Terminate() {
  terminated_.store(true);
  std::lock_guard lock(m_);
  cv_.notify_all();
}

bool Thread::Sleep(int ms) {
  std::unique_lock lock(m_);
  if (ms > 0) cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Terminated(); });
  return !Terminated();
}

void Thread::WaitFor() {
  if (!started_.load()) return;
  if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return;
  Ui& ui = CurrentUi();
  if (ui.IsInterfaceThread()) ui.WaitServing([this] { return Finished(); });
  if (thread_.joinable()) thread_.join();
}

void Thread::SetPriority(ThreadPriority priority) {
  priority_.store(priority);
  ApplyPriority();
}

// Best effort: a priority the system refuses is simply not applied.
void Thread::ApplyPriority() {
#if defined(__linux__)
  const long tid = tid_.load();
  if (tid == 0) return;  // not running yet; Run applies it
  const auto id = static_cast<pid_t>(tid);
  sched_param param{};
  param.sched_priority = 0;
  switch (priority_.load()) {
    case ThreadPriority::Idle:
      (void)::sched_setscheduler(id, SCHED_IDLE, &param);
      break;
    case ThreadPriority::Normal:
      (void)::sched_setscheduler(id, SCHED_OTHER, &param);
      (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(id), 0);
      break;
    case ThreadPriority::TimeCritical:
      // A raised share of the ordinary scheduler, not a real-time class that could starve the
      // rest of the program.
      (void)::sched_setscheduler(id, SCHED_OTHER, &param);
      (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(id), -10);
      break;
  }
#elif defined(_WIN32)
  const long tid = tid_.load();
  if (tid != 0) win32::ApplyThreadPriority(tid, priority_.load());
#endif
}

}  // namespace platform
