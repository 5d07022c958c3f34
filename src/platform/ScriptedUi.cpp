#include "platform/ScriptedUi.h"

#include <chrono>

namespace platform {

namespace {
// Interface-thread waits also look at their condition this often, in case a change was not
// announced with Wake(). It is a sleep between looks, not a spin.
constexpr int kSafetyIntervalMs = 50;
}  // namespace

ScriptedUi::ScriptedUi() : uiThread_(std::this_thread::get_id()) {}

void ScriptedUi::QueueAnswer(Answer answer) {
  std::lock_guard lock(m_);
  answers_.push_back(answer);
}

void ScriptedUi::SetDefaultAnswer(Answer answer) {
  std::lock_guard lock(m_);
  defaultAnswer_ = answer;
  defaultSet_ = true;
}

void ScriptedUi::QueueFileDialog(FileDialogResult result) {
  std::lock_guard lock(m_);
  fileAnswers_.push_back(std::move(result));
}

void ScriptedUi::QueueInput(std::optional<std::string> answer) {
  std::lock_guard lock(m_);
  inputAnswers_.push_back(std::move(answer));
}

std::vector<ScriptedUi::InputRecord> ScriptedUi::Inputs() const {
  std::lock_guard lock(m_);
  return inputs_;
}

bool ScriptedUi::InputQuery(const InputRequest& request, std::string& value) {
  std::lock_guard lock(m_);
  inputs_.push_back({request, value});
  if (inputAnswers_.empty()) return false;
  std::optional<std::string> answer = std::move(inputAnswers_.front());
  inputAnswers_.pop_front();
  if (!answer) return false;
  value = std::move(*answer);
  return true;
}

void ScriptedUi::SetMessageObserver(std::function<void(const MessageRequest&)> observer) {
  std::lock_guard lock(m_);
  observer_ = std::move(observer);
}

std::vector<MessageRequest> ScriptedUi::Messages() const {
  std::lock_guard lock(m_);
  return messages_;
}

std::vector<FileDialogRequest> ScriptedUi::FileDialogs() const {
  std::lock_guard lock(m_);
  return fileDialogs_;
}

void ScriptedUi::ClearRecords() {
  std::lock_guard lock(m_);
  messages_.clear();
  fileDialogs_.clear();
  inputs_.clear();
}

Answer ScriptedUi::ShowMessage(const MessageRequest& request) {
  Answer answer;
  std::function<void(const MessageRequest&)> observer;
  {
    std::lock_guard lock(m_);
    messages_.push_back(request);
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    } else if (defaultSet_) {
      answer = defaultAnswer_;
    } else {
      answer = request.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    observer = observer_;
  }
  if (observer) observer(request);
  return answer;
}

FileDialogResult ScriptedUi::RunFileDialog(const FileDialogRequest& request) {
  std::lock_guard lock(m_);
  fileDialogs_.push_back(request);
  if (fileAnswers_.empty()) return FileDialogResult{};  // cancelled
  FileDialogResult result = std::move(fileAnswers_.front());
  fileAnswers_.pop_front();
  return result;
}

void ScriptedUi::Synchronize(const std::function<void()>& fn) {
  if (IsInterfaceThread()) {
    fn();
    return;
  }
  bool done = false;
  std::unique_lock lock(m_);
  queue_.push_back([this, &fn, &done] {
    fn();
    std::lock_guard inner(m_);
    done = true;
    cv_.notify_all();
  });
  cv_.notify_all();
  cv_.wait(lock, [&] { return done; });
}

void ScriptedUi::Post(std::function<void()> fn) {
  std::lock_guard lock(m_);
  queue_.push_back(std::move(fn));
  cv_.notify_all();
}

bool ScriptedUi::IsInterfaceThread() const {
  std::lock_guard lock(m_);
  return uiThread_ == std::this_thread::get_id();
}

void ScriptedUi::AdoptCurrentThread() {
  std::lock_guard lock(m_);
  uiThread_ = std::this_thread::get_id();
}

bool ScriptedUi::RunOne(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  auto work = std::move(queue_.front());
  queue_.pop_front();
  lock.unlock();
  work();
  lock.lock();
  return true;
}

void ScriptedUi::WaitForNews(std::unique_lock<std::mutex>& lock, std::uint64_t seenWake,
                             bool serveQueue, int maxMs) {
  cv_.wait_for(lock, std::chrono::milliseconds(maxMs),
               [&] { return wakeSeq_ != seenWake || (serveQueue && !queue_.empty()); });
}

void ScriptedUi::Drain() {
  std::unique_lock lock(m_);
  if (uiThread_ != std::this_thread::get_id()) return;
  while (RunOne(lock)) {
  }
}

bool ScriptedUi::PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(m_);
  const bool serve = uiThread_ == std::this_thread::get_id();
  for (;;) {
    if (serve) {
      while (RunOne(lock)) {
      }
    }
    const std::uint64_t seen = wakeSeq_;
    lock.unlock();
    const bool ok = pred();
    lock.lock();
    if (ok) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
    WaitForNews(lock, seen, serve, static_cast<int>(std::min<long long>(left, kSafetyIntervalMs)));
  }
}

void ScriptedUi::WaitServing(const std::function<bool()>& done) {
  // The same serving loop as PumpUntil, without a deadline: each round ends after a minute and
  // the next one starts at once.
  while (!PumpUntil(done, 60000)) {
  }
}

void ScriptedUi::Wake() {
  std::lock_guard lock(m_);
  ++wakeSeq_;
  cv_.notify_all();
}

}  // namespace platform
