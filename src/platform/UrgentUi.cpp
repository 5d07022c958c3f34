#include "platform/UrgentUi.h"

#include "platform/Ui.h"

namespace platform {

void SynchronizeUrgent(const std::function<void()>& fn) {
  Ui& ui = CurrentUi();
  if (auto* lane = dynamic_cast<UrgentLane*>(&ui))
    lane->SynchronizeUrgent(fn);
  else
    ui.Synchronize(fn);
}

}  // namespace platform
