#pragma once
// What kvtctl's commands that make X-ray exposures (calibrate, check-shots) check before the first
// shot, in the same order and words for both.

#include <functional>
#include <memory>

#include "link/SystemLink.h"

namespace cli {

// The command's own words in the refusals.
struct ExposureCommand {
  const char* name;           // "calibrate": the messages' prefix
  const char* realApparatus;  // follows the port's name when a real apparatus is refused
  const char* otherType;      // follows "of type X" when the type is not K2
};

// Finds the apparatus; a port that is not the simulator only with allowExposures. Opens it as
// connection and, under the device lock, requires it ready for exposures (state 8: on, standby
// heating) and of type K2; then underLock runs under the same lock (a non-zero result is returned
// as it is). 0 when the command may go on; otherwise the exit code, the reason printed.
int StartExposures(const ExposureCommand& command, bool allowExposures,
                   std::unique_ptr<kvt::TSystemLink>& connection,
                   const std::function<int(kvt::TSystemLink& link)>& underLock = {});

}  // namespace cli
