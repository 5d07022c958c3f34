#pragma once
// For tests that judge the program's arithmetic rather than a procedure's convergence: a
// simulated apparatus whose plant matches its stored settings exactly, without noise.

#include "sim/Profile.h"

namespace testsupport {

inline sim::Profile ExactPlant(sim::Profile p = {}) {
  p.plant = sim::PlantSettings::Exact();
  return p;
}

}  // namespace testsupport
