#pragma once
// Installs a ScriptedUi, created on the calling thread (so that thread is the interface thread),
// for the life of the object, and puts the previous interface back after.

#include "platform/ScriptedUi.h"

namespace testsupport {

class ScopedUi {
 public:
  ScopedUi() : previous_(platform::InstalledUi()) { platform::SetUi(&ui_); }
  ~ScopedUi() { platform::SetUi(previous_); }
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;

  platform::ScriptedUi& operator*() { return ui_; }
  platform::ScriptedUi* operator->() { return &ui_; }

 private:
  platform::ScriptedUi ui_;
  platform::Ui* previous_;
};

}  // namespace testsupport
