#include "link/PortProbe.h"

#include <algorithm>
#include <vector>

#include "link/SystemLink.h"
#include "platform/LinkLock.h"

namespace kvt {

std::string ProbeMainControllerPort() {
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  const std::vector<std::string> offered = platform::ListSerialPorts();
  for (int n = 1; n <= 4; ++n) {
    const std::string name = "COM" + std::to_string(n);
    if (std::find(offered.begin(), offered.end(), name) == offered.end()) continue;
    TSystemLink probe(name);  // its destruction closes the port again
    if (!probe.LastOk()) continue;
    probe.SetParity(platform::Parity::Mark);
    probe.WriteBytes({kMainControllerAddress});
    probe.Read(1);
    const bool answered = probe.LastCount() == 1;
    probe.SetParity(platform::Parity::Space);
    if (answered) return name;
  }
  return {};
}

}  // namespace kvt
