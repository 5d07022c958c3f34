#pragma once
// A calibration run quick enough for the simulator in instant timing: pauses a thousandth of
// the program's, the gauge and the shot polls stepping every millisecond.

#include <filesystem>

#include "calibration/CalRun.h"

namespace caltest {

inline kvt::CalRunOptions QuickRunOptions(const std::filesystem::path& stateFile) {
  kvt::CalRunOptions o;
  o.timing.pauseScale = 0.001;
  o.timing.pauseStepMs = 1;
  o.timing.shotLimits.pollPauseMs = 1;
  o.stateFile = stateFile;
  return o;
}

}  // namespace caltest
