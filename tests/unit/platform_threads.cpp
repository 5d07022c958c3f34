// The interface-thread seam, the device lock and worker threads: ordering, re-entrancy, and the
// waits of the interface thread that must keep serving workers.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/LinkLock.h"
#include "platform/ScriptedUi.h"
#include "platform/Thread.h"
#include "support/ScopedUi.h"
#include "support/Watchdog.h"

#if defined(__linux__)
#include <sched.h>
#endif

using namespace std::chrono_literals;
using platform::Answer;
using platform::Buttons;
using platform::LinkLock;
using testsupport::ScopedUi;
using testsupport::Watchdog;

namespace {

TEST(PlatformScriptedUi, RunsPostAndSynchronizeInQueueOrderOnTheInterfaceThread) {
  ScopedUi ui;
  const auto uiThread = std::this_thread::get_id();
  std::vector<std::string> order;  // touched only on the interface thread
  std::atomic<bool> workerDone{false};
  std::thread worker([&] {
    platform::CurrentUi().Post([&] { order.push_back("post1"); });
    platform::CurrentUi().Synchronize([&] {
      order.push_back(std::this_thread::get_id() == uiThread ? "sync" : "sync-wrong-thread");
    });
    // Synchronize has returned, so the work before it has run too.
    order.push_back(order.size() == 2 ? "after-sync-seen" : "after-sync-too-early");
    platform::CurrentUi().Post([&] { order.push_back("post2"); });
    workerDone = true;
  });
  Watchdog dog(20s, "serving a worker's Synchronize");
  EXPECT_TRUE(ui->PumpUntil([&] { return workerDone.load(); }, 15000));
  worker.join();
  ui->Drain();
  EXPECT_EQ(order, (std::vector<std::string>{"post1", "sync", "after-sync-seen", "post2"}));
}

TEST(PlatformScriptedUi, SynchronizeOnTheInterfaceThreadRunsAtOnceAndPostWaitsForPumping) {
  ScopedUi ui;
  std::vector<int> order;
  ui->Post([&] { order.push_back(1); });
  ui->Synchronize([&] { order.push_back(2); });
  EXPECT_EQ(order, (std::vector<int>{2}));
  EXPECT_TRUE(ui->IsInterfaceThread());
  ui->Drain();
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
  EXPECT_FALSE(ui->PumpUntil([] { return false; }, 60));  // a plain time-out
}

TEST(PlatformScriptedUi, AnswersFromTheScriptAndRecordsWhatWasShown) {
  ScopedUi ui;
  EXPECT_EQ(platform::ShowMessage("Нет связи", "vdemon", platform::Icon::Error), Answer::Ok);
  EXPECT_TRUE(platform::AskYesNo("Сохранить?"));
  ui->QueueAnswer(Answer::No);
  EXPECT_FALSE(platform::AskYesNo("Сохранить?"));
  ui->SetDefaultAnswer(Answer::Cancel);
  EXPECT_EQ(platform::ShowMessage("t", "", platform::Icon::None, Buttons::OkCancel),
            Answer::Cancel);
  std::vector<std::string> seen;
  ui->SetMessageObserver([&](const platform::MessageRequest& r) { seen.push_back(r.text); });
  platform::ShowMessage("observed", "", platform::Icon::None);
  EXPECT_EQ(seen, (std::vector<std::string>{"observed"}));

  const auto messages = ui->Messages();
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[0].text, "Нет связи");
  EXPECT_EQ(messages[0].title, "vdemon");
  EXPECT_EQ(messages[0].icon, platform::Icon::Error);
  EXPECT_EQ(messages[1].buttons, Buttons::YesNo);

  platform::FileDialogRequest request;
  request.save = true;
  request.filter = "Образ памяти(*.mi)|*.mi";
  ui->QueueFileDialog({true, "/tmp/a.mi", 1});
  auto first = ui->RunFileDialog(request);
  EXPECT_TRUE(first.accepted);
  EXPECT_EQ(first.path, "/tmp/a.mi");
  EXPECT_FALSE(ui->RunFileDialog(request).accepted);  // nothing scripted: cancelled
  ASSERT_EQ(ui->FileDialogs().size(), 2u);
  EXPECT_EQ(ui->FileDialogs()[0].filter, "Образ памяти(*.mi)|*.mi");
  ui->ClearRecords();
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_TRUE(ui->FileDialogs().empty());
}

TEST(PlatformScriptedUi, WaitServingReturnsOnWakeWithoutWork) {
  ScopedUi ui;
  std::atomic<bool> flag{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(20ms);
    flag = true;
    platform::CurrentUi().Wake();
  });
  Watchdog dog(20s, "WaitServing woken by Wake");
  ui->WaitServing([&] { return flag.load(); });
  EXPECT_TRUE(flag.load());
  worker.join();
}

TEST(PlatformLinkLock, IsReentrantAndExcludesOtherThreads) {
  LinkLock lock;
  EXPECT_EQ(lock.Depth(), 0);
  EXPECT_FALSE(lock.HeldByMe());
  lock.Lock();
  lock.Lock();
  EXPECT_TRUE(lock.TryLock());
  EXPECT_EQ(lock.Depth(), 3);
  EXPECT_TRUE(lock.HeldByMe());
  auto tryFromOther = [&] {
    return std::async(std::launch::async,
                      [&] {
                        const bool got = lock.TryLock();
                        if (got) lock.Unlock();
                        return got;
                      })
        .get();
  };
  EXPECT_FALSE(tryFromOther());
  lock.Unlock();
  lock.Unlock();
  EXPECT_FALSE(tryFromOther());
  lock.Unlock();
  EXPECT_EQ(lock.Depth(), 0);
  EXPECT_TRUE(tryFromOther());
  lock.Unlock();  // not held: ignored
  EXPECT_EQ(lock.Depth(), 0);
}

TEST(PlatformLinkLock, AWorkerWaitsUntilTheHolderReleases) {
  ScopedUi ui;
  LinkLock lock;
  lock.Lock();
  std::atomic<bool> got{false};
  std::thread worker([&] {
    LinkLock::Guard guard(lock);
    got = true;
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(got.load());
  lock.Unlock();
  Watchdog dog(20s, "worker waiting for the device lock");
  worker.join();
  EXPECT_TRUE(got.load());
}

TEST(PlatformLinkLock, InterfaceThreadWaitingForTheLockServesTheHoldersSynchronize) {
  ScopedUi ui;
  const auto uiThread = std::this_thread::get_id();
  LinkLock lock;
  std::promise<void> holding;
  std::atomic<bool> ranOnUi{false};
  std::thread worker([&] {
    LinkLock::Guard guard(lock);
    holding.set_value();
    // Holding the lock, the worker needs the interface thread, which is waiting for the lock.
    platform::CurrentUi().Synchronize([&] { ranOnUi = std::this_thread::get_id() == uiThread; });
  });
  holding.get_future().wait();
  {
    Watchdog dog(20s, "interface thread waiting for the device lock");
    lock.Lock();
  }
  EXPECT_TRUE(ranOnUi.load());
  EXPECT_TRUE(lock.HeldByMe());
  lock.Unlock();
  worker.join();
}

class SleepyThread : public platform::Thread {
 public:
  using Thread::Thread;
  ~SleepyThread() override {
    Terminate();
    WaitFor();
  }
  std::atomic<bool> sleeping{false};
  std::atomic<int> result{-1};
  int sleepMs = 60000;

 protected:
  void Execute() override {
    sleeping = true;
    result = Sleep(sleepMs) ? 1 : 0;
  }
};

TEST(PlatformThread, TerminateWakesSleepAtOnce) {
  ScopedUi ui;
  SleepyThread t;
  t.Start();
  Watchdog dog(20s, "a terminated thread's Sleep");
  while (!t.sleeping) std::this_thread::sleep_for(1ms);
  const auto start = std::chrono::steady_clock::now();
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
  EXPECT_EQ(t.result.load(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);  // not the full minute
}

TEST(PlatformThread, SleepRunsItsCourseWithoutTermination) {
  ScopedUi ui;
  SleepyThread t;
  t.sleepMs = 5;
  EXPECT_FALSE(t.Finished());
  t.Start();
  t.WaitFor();
  EXPECT_EQ(t.result.load(), 1);
  EXPECT_FALSE(t.Terminated());
}

struct EndProbe {
  std::atomic<bool> onEndRan{false};
  std::atomic<bool> onEndRanBeforeDelete{false};
  std::promise<void> deleted;
};

class SelfFreeing : public platform::Thread {
 public:
  explicit SelfFreeing(EndProbe* probe) : probe_(probe) { SetFreeOnTerminate(true); }
  ~SelfFreeing() override {
    probe_->onEndRanBeforeDelete = probe_->onEndRan.load();
    probe_->deleted.set_value();
  }

 protected:
  void Execute() override { Sleep(5); }
  void OnEnd() override { probe_->onEndRan = true; }

 private:
  EndProbe* probe_;
};

TEST(PlatformThread, FreeOnTerminateDeletesItselfAfterOnEnd) {
  ScopedUi ui;
  EndProbe probe;
  auto* t = new SelfFreeing(&probe);
  t->Start();
  // LeakSanitizer would also report the object if it were not deleted.
  ASSERT_EQ(probe.deleted.get_future().wait_for(20s), std::future_status::ready);
  EXPECT_TRUE(probe.onEndRanBeforeDelete.load());
}

class SynchronizingThread : public platform::Thread {
 public:
  ~SynchronizingThread() override {
    Terminate();
    WaitFor();
  }
  std::atomic<int> synchronized{0};

 protected:
  void Execute() override {
    platform::CurrentUi().Synchronize([this] { ++synchronized; });
  }
  void OnEnd() override {
    platform::CurrentUi().Synchronize([this] { ++synchronized; });
  }
};

TEST(PlatformThread, WaitForOnTheInterfaceThreadServesTheWorkersSynchronize) {
  ScopedUi ui;
  SynchronizingThread t;
  t.Start();
  {
    Watchdog dog(20s, "WaitFor of a synchronizing worker");
    t.WaitFor();
  }
  EXPECT_EQ(t.synchronized.load(), 2);
  EXPECT_TRUE(t.Finished());
}

#if defined(__linux__)
class PolicyProbe : public platform::Thread {
 public:
  using Thread::Thread;
  ~PolicyProbe() override { WaitFor(); }
  std::atomic<int> policy{-1};

 protected:
  void Execute() override { policy = sched_getscheduler(0); }
};

TEST(PlatformThread, IdlePriorityRunsTheThreadInTheIdleClass) {
  ScopedUi ui;
  PolicyProbe t(platform::ThreadPriority::Idle);
  t.Start();
  t.WaitFor();
  EXPECT_EQ(t.policy.load(), SCHED_IDLE);
  EXPECT_EQ(t.Priority(), platform::ThreadPriority::Idle);
}
#endif

}  // namespace
