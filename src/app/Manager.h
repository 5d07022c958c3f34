#pragma once
// The main window's pure rules: which commands the status record allows, and how a dragged
// window snaps onto the screen edges. Kept apart from the window so tests reach them directly.

#include <array>
#include <cstddef>

#include "app/SystemStatus.h"

namespace kvt {

// The main window's buttons, top to bottom.
enum class ManagerButton : int {
  btnAuto,
  btnOptions,
  btnInformation,
  btnAdjustConnection,
  btnReadConfig,
  btnOpenConfig,
  btnTranslateToMemory,
  btnSaveConfig,
  btnTools,
  btnPowerOn,
  btnAdjustRotation,
  btnHeatCheck,
  btnUnderHeatOn,
  btnAdjustMeasuresChannels,
  bntTubeCalibration,
  btnDoCheckShots,
  btnShowOscilograms,
  btnOpenControlPanel,
  btnPowerOff,
};
inline constexpr std::size_t kManagerButtonCount = 19;

using ButtonEnabling = std::array<bool, kManagerButtonCount>;

inline bool Enabled(const ButtonEnabling& e, ManagerButton b) {
  return e[std::size_t(b)];
}

// The Enabled state of every button for the given status.
ButtonEnabling ComputeButtonEnabling(const SystemStatusRecord& status);

struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const WindowRect&) const = default;
};

// Snaps a proposed rectangle of a window being dragged: moving towards an edge, it jumps onto the
// edge once it comes closer than 100 pixels, keeping its size. screenWidth is the primary
// screen's width, maxHeight the height of a maximised window.
WindowRect SnapWindowRect(WindowRect proposed, const WindowRect& previous, int screenWidth,
                          int maxHeight);

inline constexpr int kSnapDistance = 100;

}  // namespace kvt
