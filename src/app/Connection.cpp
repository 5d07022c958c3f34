#include "app/Connection.h"

#include "app/AdjConnInfo.h"
#include "app/MainHost.h"
#include "app/VDemon.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"

namespace kvt {

std::string RunConnectionSequence(MainHost& host) {
  auto& status = SystemStatus();
  // The monitor must be gone before the port it talks through closes.
  host.StopMonitor();
  host.DestroyConnectionLink();

  const bool imageLoaded = status.ImageLoaded;
  status.Clear();
  status.ImageLoaded = imageLoaded;
  host.RefreshButtons();

  TfrmAdjustConnectionInfo& window = host.NewConnectionWindow();

  platform::LinkLock::Guard guard(platform::TheLinkLock());
  host.ShowState("УСТАНОВКА СВЯЗИ");
  const std::string port = window.FindPort();
  if (port.empty()) {
    host.ShowState(kNoConnectionText);
    // The window tells which ports were tried instead of vanishing without a word.
    window.ShowNoAnswer();
    host.ShowConnectionWindow();
    return port;
  }
  host.CreateConnectionLink(port);
  host.ShowState("ОПРЕДЕЛЕНИЕ ТИПА");
  window.DetectType();
  if (status.TypeKnown) {
    host.ShowState("ОПРЕДЕЛЕНИЕ СОСТАВА");
    window.DetectModules();
  }
  if (status.PagePresent[0]) {
    host.ShowState("ПРОВЕРКА КС");
    window.CheckBanks();
  }
  window.ShowConclusion();
  host.ShowConnectionWindow();
  host.StartMonitor();
  return port;
}

}  // namespace kvt
