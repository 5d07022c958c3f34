#pragma once
// The simulated apparatus on the program's line, as a connection leaves it: installed for the
// test, attached as the shared port and its main controller selected; and what it received.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

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

// The data frames the apparatus received (address bytes left out) that start with head, in order.
inline std::vector<std::vector<std::uint8_t>> DataFrames(
    sim::Apparatus& apparatus, const std::vector<std::uint8_t>& head = {}) {
  std::vector<std::vector<std::uint8_t>> out;
  for (const auto& f : apparatus.FrameLog()) {
    if (f.IsAddress() || f.bytes.size() < head.size()) continue;
    if (std::equal(head.begin(), head.end(), f.bytes.begin())) out.push_back(f.bytes);
  }
  return out;
}

}  // namespace testsupport
