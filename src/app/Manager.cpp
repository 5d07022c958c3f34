#include "app/Manager.h"

namespace kvt {

namespace {

// One row of the enabling table: each flag is required true (Yes), required false (No) or
// ignored (Any).
enum Need : char { Any, Yes, No };

struct Row {
  Need L, On, H, Im, Cs, T, P0, P1, P2, P3, P4;
};

bool Fits(Need need, bool value) {
  return need == Any || (need == Yes) == value;
}

bool Allows(const Row& r, const SystemStatusRecord& s) {
  return Fits(r.L, s.LinkUp) && Fits(r.On, s.SystemOn) && Fits(r.H, s.Preheated) &&
         Fits(r.Im, s.ImageLoaded) && Fits(r.Cs, s.ChecksumsOk) && Fits(r.T, s.TypeKnown) &&
         Fits(r.P0, s.PagePresent[0]) && Fits(r.P1, s.PagePresent[1]) &&
         Fits(r.P2, s.PagePresent[2]) && Fits(r.P3, s.PagePresent[3]) &&
         Fits(r.P4, s.PagePresent[4]);
}

//                                  L    On   H    Im   Cs   T    P0   P1   P2   P3   P4
constexpr Row kAlways{Any, Any, Any, Any, Any, Any, Any, Any, Any, Any, Any};
constexpr Row kReadConfig{Yes, Any, Any, Any, Any, Any, Yes, Any, Any, Any, Any};
constexpr Row kTranslate{Yes, Any, Any, Yes, Any, Any, Yes, Any, Any, Any, Any};
constexpr Row kSaveConfig{Any, Any, Any, Yes, Any, Any, Any, Any, Any, Any, Any};
constexpr Row kPowerOn{Yes, No, Any, Any, Yes, Yes, Yes, Yes, Yes, Any, Any};
constexpr Row kRotation{Yes, Yes, Any, Yes, Yes, Yes, Yes, Yes, Yes, Any, Yes};
constexpr Row kHeatCheck{Yes, Yes, Any, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Any};
constexpr Row kUnderHeat{Yes, Yes, Any, Any, Yes, Yes, Yes, Yes, Yes, Yes, Any};
constexpr Row kChannelsK4{Yes, No, Any, Yes, Yes, Yes, Any, Any, Any, Any, Any};
constexpr Row kChannels{Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes};
constexpr Row kCalibration{Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes};
constexpr Row kCheckShots{Yes, Yes, Yes, Any, Yes, Yes, Yes, Yes, Yes, Yes, Yes};
constexpr Row kOscillograms{Yes, Any, Any, Any, Any, Any, Yes, Any, Any, Any, Any};
constexpr Row kControlPanel{Yes, Yes, Yes, Any, Yes, Yes, Yes, Yes, Yes, Yes, Any};
constexpr Row kPowerOff{Yes, Yes, Any, Any, Any, Any, Yes, Yes, Yes, Any, Any};

}  // namespace

ButtonEnabling ComputeButtonEnabling(const SystemStatusRecord& s) {
  ButtonEnabling e{};
  auto set = [&](ManagerButton b, bool on) { e[std::size_t(b)] = on; };
  using B = ManagerButton;
  set(B::btnAuto, false);
  set(B::btnOptions, true);
  set(B::btnInformation, false);
  set(B::btnAdjustConnection, Allows(kAlways, s));
  set(B::btnOpenConfig, Allows(kAlways, s));
  set(B::btnTools, Allows(kAlways, s));
  set(B::btnReadConfig, Allows(kReadConfig, s));
  set(B::btnTranslateToMemory, Allows(kTranslate, s));
  set(B::btnSaveConfig, Allows(kSaveConfig, s));
  set(B::btnPowerOn, Allows(kPowerOn, s));
  set(B::btnAdjustRotation, Allows(kRotation, s));
  set(B::btnHeatCheck, Allows(kHeatCheck, s));
  set(B::btnUnderHeatOn, Allows(kUnderHeat, s));
  set(B::btnAdjustMeasuresChannels, Allows(s.SystemType() == "K4" ? kChannelsK4 : kChannels, s));
  set(B::bntTubeCalibration, Allows(kCalibration, s));
  set(B::btnDoCheckShots, Allows(kCheckShots, s));
  set(B::btnShowOscilograms, Allows(kOscillograms, s));
  set(B::btnOpenControlPanel, Allows(kControlPanel, s));
  set(B::btnPowerOff, Allows(kPowerOff, s));
  return e;
}

WindowRect SnapWindowRect(WindowRect r, const WindowRect& prev, int screenWidth, int maxHeight) {
  if (r.top < prev.top && r.top < kSnapDistance && r.top != 0) {
    r.bottom -= r.top;
    r.top = 0;
  }
  if (r.left < prev.left && r.left < kSnapDistance && r.left != 0) {
    r.right -= r.left;
    r.left = 0;
  }
  if (r.right > prev.right && screenWidth - r.right < kSnapDistance) {
    r.left += screenWidth - r.right;
    r.right = screenWidth;
  }
  if (r.bottom > prev.bottom && maxHeight - r.bottom < kSnapDistance) {
    r.top += maxHeight - r.bottom;
    r.bottom = maxHeight;
  }
  return r;
}

}  // namespace kvt
