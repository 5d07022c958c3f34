#include "link/PortProbe.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "link/SystemLink.h"
#include "platform/LinkLock.h"

namespace kvt {

std::string ProbeMainControllerPort(ProbeScope scope, std::vector<std::string>* tried) {
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  const std::vector<std::string> offered = platform::ListSerialPorts();
  if (offered.empty()) return {};
  for (int n = 1; n <= 4; ++n) {
    const std::string name = "COM" + std::to_string(n);
    const bool isOffered = std::any_of(offered.begin(), offered.end(), [&](const std::string& o) {
      return o.size() == name.size() &&
             std::equal(o.begin(), o.end(), name.begin(),
                        [](char a, char b) { return std::toupper((unsigned char)a) == b; });
    });
    if (scope == ProbeScope::OfferedOnly && !isOffered) continue;
    TSystemLink probe(name);  // its destruction closes the port again
    if (tried) tried->push_back(probe.LastOk() ? name : name + " (не открыт)");
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
