#pragma once
// The Ui for tests and for kvtctl: answers come from a script, everything shown is recorded, and
// the thread that created it is the interface thread (serve its queue with PumpUntil/Drain).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/Ui.h"

namespace platform {

class ScriptedUi : public Ui {
 public:
  ScriptedUi();

  // Answers for the coming message boxes, first in first out; when none is queued the default
  // answer is given (Yes for Yes/No boxes, Ok otherwise, unless SetDefaultAnswer says otherwise).
  void QueueAnswer(Answer answer);
  void SetDefaultAnswer(Answer answer);
  void QueueFileDialog(FileDialogResult result);
  // The text the next input question accepts; nullopt cancels it. Unscripted questions cancel.
  void QueueInput(std::optional<std::string> answer);
  // Called (on the showing thread) for each message after it is recorded; may print it.
  void SetMessageObserver(std::function<void(const MessageRequest&)> observer);

  std::vector<MessageRequest> Messages() const;
  std::vector<FileDialogRequest> FileDialogs() const;
  // Each input question with the text it offered.
  struct InputRecord {
    InputRequest request;
    std::string offered;
  };
  std::vector<InputRecord> Inputs() const;
  void ClearRecords();

  // Serves queued interface work on the interface thread until pred() holds or timeoutMs passed.
  bool PumpUntil(const std::function<bool()>& pred, int timeoutMs);
  // Runs all work queued so far.
  void Drain();
  // Makes the calling thread the interface thread.
  void AdoptCurrentThread();

  Answer ShowMessage(const MessageRequest& request) override;
  FileDialogResult RunFileDialog(const FileDialogRequest& request) override;
  bool InputQuery(const InputRequest& request, std::string& value) override;
  void Synchronize(const std::function<void()>& fn) override;
  void Post(std::function<void()> fn) override;
  bool IsInterfaceThread() const override;
  void WaitServing(const std::function<bool()>& done) override;
  void Wake() override;

 private:
  bool RunOne(std::unique_lock<std::mutex>& lock);
  // Waits (with m_ held by lock) until work is queued, Wake() is called or the safety interval
  // passes; serveQueue says whether queued work ends the wait.
  void WaitForNews(std::unique_lock<std::mutex>& lock, std::uint64_t seenWake, bool serveQueue,
                   int maxMs);

  mutable std::mutex m_;
  std::condition_variable cv_;
  std::thread::id uiThread_;
  std::deque<std::function<void()>> queue_;
  std::deque<Answer> answers_;
  std::deque<FileDialogResult> fileAnswers_;
  std::deque<std::optional<std::string>> inputAnswers_;
  std::vector<InputRecord> inputs_;
  Answer defaultAnswer_ = Answer::Ok;
  bool defaultSet_ = false;
  std::vector<MessageRequest> messages_;
  std::vector<FileDialogRequest> fileDialogs_;
  std::function<void(const MessageRequest&)> observer_;
  std::uint64_t wakeSeq_ = 0;
};

}  // namespace platform
