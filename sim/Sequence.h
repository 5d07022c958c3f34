#pragma once
// A run of state codes with durations (switching on, preparing a shot, exposing, the rotation
// drive's run-up and braking). In realistic timing the steps follow the wall clock; in instant
// timing each query of the state moves the run on by one step, so tests see every intermediate
// state without waiting.

#include <cstdint>
#include <functional>
#include <vector>

#include "sim/BusModule.h"

namespace sim {

class Sequence {
 public:
  struct Step {
    std::uint8_t state;
    int ms;  // how long the step lasts (ignored for the last step)
    // Runs when the run reaches this step (not for the first), with the time the step began.
    std::function<void(SimTime)> onEnter;
  };

  bool Active() const { return active_; }
  void Start(std::vector<Step> steps, SimTime at) {
    steps_ = std::move(steps);
    index_ = 0;
    stepStart_ = at;
    active_ = steps_.size() > 1;
  }
  void Stop() { active_ = false; }
  std::uint8_t State() const { return steps_.empty() ? 0 : steps_[index_].state; }

  // Realistic timing: moves on to the step due at `now`.
  void CatchUp(SimTime now) {
    while (active_ && index_ + 1 < steps_.size()) {
      SimTime due = stepStart_ + std::chrono::milliseconds(steps_[index_].ms);
      if (now < due) break;
      stepStart_ = due;
      // A step's action may start another run at `due`; the loop goes on with that one.
      Enter(index_ + 1, due);
    }
  }
  // Instant timing: one step on.
  void StepOnce(SimTime now) {
    if (active_ && index_ + 1 < steps_.size()) {
      stepStart_ = now;
      Enter(index_ + 1, now);
    }
  }

 private:
  void Enter(std::size_t i, SimTime at) {
    index_ = i;
    if (index_ + 1 == steps_.size()) active_ = false;
    if (steps_[i].onEnter) {
      auto action = steps_[i].onEnter;  // the action may restart the run and replace steps_
      action(at);
    }
  }

  std::vector<Step> steps_;
  std::size_t index_ = 0;
  SimTime stepStart_{};
  bool active_ = false;
};

}  // namespace sim
