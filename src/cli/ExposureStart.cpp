#include "cli/ExposureStart.h"

#include <string>

#include "cli/ApparatusImage.h"
#include "cli/Command.h"
#include "platform/LinkLock.h"
#include "platform/SerialPort.h"

namespace cli {

int StartExposures(const ExposureCommand& command, bool allowExposures,
                   std::unique_ptr<kvt::TSystemLink>& connection,
                   const std::function<int(kvt::TSystemLink& link)>& underLock) {
  const std::string name = command.name;
  // Exposures on a real apparatus only when asked for.
  connection = ConnectApparatus([&](const std::string& port) {
    if (platform::MapPortName(port) == "simulator" || allowExposures) return true;
    std::string message = name;
    message.append(": ").append(port).append(command.realApparatus);
    Fail(message);
    return false;
  });
  if (!connection) return kExitNotStarted;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink link;
  link.SelectModule(kvt::kMainControllerAddress);
  const int state = link.PollState();
  if (link.LastCount() != 1 || state != 8) {
    std::string message = name;
    message.append(": the apparatus is not ready for exposures (state ")
        .append(std::to_string(state))
        .append("); switch it on with standby filament heating first");
    return Fail(message);
  }
  // The walks here are the type-K2 ones; K3 and K4 need each shot read off its curves.
  const std::string type = link.ReadSystemType();
  if (type != "K2") {
    std::string message = name;
    message.append(": the apparatus is of type ")
        .append(type.empty() ? "?" : type)
        .append(command.otherType);
    return Fail(message);
  }
  return underLock ? underLock(link) : 0;
}

}  // namespace cli
