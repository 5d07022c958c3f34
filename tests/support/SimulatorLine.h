#pragma once
// The simulated apparatus on the program's line, as a connection leaves it: installed for the
// test, attached as the shared port and its main controller selected.

#include <utility>

#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"

namespace testsupport {

inline sim::Apparatus& AttachSimulator(sim::Profile profile = {}) {
  sim::Apparatus& apparatus = sim::InstallForTest(std::move(profile));
  kvt::AttachSharedPort(sim::OpenSimulatorPort());
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink().SelectModule(kvt::kMainControllerAddress);
  return apparatus;
}

}  // namespace testsupport
