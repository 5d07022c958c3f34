#pragma once
// Work that must reach the interface thread at once, even while a message box or another modal
// window is open there: the lamps and states of a shot under way follow the apparatus and never
// wait until the engineer has read a message.

#include <functional>

namespace platform {

// An interface that can run work on its interface thread while a modal window is open there
// offers it beside Ui (the Qt interface does; one without modal windows need not).
class UrgentLane {
 public:
  virtual ~UrgentLane() = default;
  // As Ui::Synchronize, but run also while a message box is open, ahead of queued work.
  virtual void SynchronizeUrgent(const std::function<void()>& fn) = 0;
};

// Runs fn on the interface thread and waits for it: through the installed interface's urgent
// lane when it has one, otherwise as Synchronize. fn must not open a window itself.
void SynchronizeUrgent(const std::function<void()>& fn);

}  // namespace platform
