// The main window's command enabling and window snapping.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/Manager.h"

namespace kvt {
namespace {

// The flags the table looks at, in column order.
enum Flag { L, On, H, Im, Cs, T, P0, P1, P2, P3, P4, kFlagCount };

void Apply(SystemStatusRecord& s, unsigned bits) {
  s.LinkUp = bits & (1u << L);
  s.SystemOn = bits & (1u << On);
  s.Preheated = bits & (1u << H);
  s.ImageLoaded = bits & (1u << Im);
  s.ChecksumsOk = bits & (1u << Cs);
  s.TypeKnown = bits & (1u << T);
  for (int p = 0; p < 5; ++p) s.PagePresent[p] = bits & (1u << (P0 + p));
}

// Each row as written in the table: '1' flag must be true, '0' must be false, '.' ignored.
//                    L On H Im Cs T P0 P1 P2 P3 P4
struct Expect {
  ManagerButton button;
  const char* row;
};
using B = ManagerButton;
const Expect kTable[] = {
    {B::btnAdjustConnection, "..........."},
    {B::btnOpenConfig, "..........."},
    {B::btnTools, "..........."},
    {B::btnOptions, "..........."},
    {B::btnReadConfig, "1.....1...."},
    {B::btnTranslateToMemory, "1..1..1...."},
    {B::btnSaveConfig, "...1......."},
    {B::btnPowerOn, "10..11111.."},
    {B::btnAdjustRotation, "11.111111.1"},
    {B::btnHeatCheck, "11.1111111."},
    {B::btnUnderHeatOn, "11..111111."},
    {B::bntTubeCalibration, "11111111111"},
    {B::btnDoCheckShots, "111.1111111"},
    {B::btnShowOscilograms, "1.....1...."},
    {B::btnOpenControlPanel, "111.111111."},
    {B::btnPowerOff, "11....111.."},
};

bool RowAllows(const char* row, unsigned bits) {
  for (int f = 0; f < kFlagCount; ++f) {
    bool v = bits & (1u << f);
    if (row[f] == '1' && !v) return false;
    if (row[f] == '0' && v) return false;
  }
  return true;
}

TEST(ManagerEnabling, EveryRowOverEveryFlagCombination) {
  for (const auto& e : kTable) ASSERT_EQ(std::string(e.row).size(), size_t(kFlagCount)) << e.row;
  SystemStatusRecord s;
  s.SetSystemType("K2");
  for (unsigned bits = 0; bits < (1u << kFlagCount); ++bits) {
    Apply(s, bits);
    auto en = ComputeButtonEnabling(s);
    for (const auto& e : kTable)
      ASSERT_EQ(Enabled(en, e.button), RowAllows(e.row, bits))
          << "button " << int(e.button) << " flags " << bits;
    EXPECT_FALSE(Enabled(en, B::btnAuto));
    EXPECT_FALSE(Enabled(en, B::btnInformation));
  }
}

TEST(ManagerEnabling, MeasuringChannelsRowDependsOnSystemType) {
  const char* k4 = "10.111.....";
  const char* other = "11111111111";
  SystemStatusRecord s;
  for (const char* type : {"K2", "K3", "K4", ""}) {
    s.SetSystemType(type);
    const char* row = std::string(type) == "K4" ? k4 : other;
    for (unsigned bits = 0; bits < (1u << kFlagCount); ++bits) {
      Apply(s, bits);
      ASSERT_EQ(Enabled(ComputeButtonEnabling(s), B::btnAdjustMeasuresChannels),
                RowAllows(row, bits))
          << "type " << type << " flags " << bits;
    }
  }
}

TEST(ManagerEnabling, FlagsOutsideTheTableTakeNoPart) {
  SystemStatusRecord a, b;
  a.SetSystemType("K2");
  b.SetSystemType("K2");
  for (unsigned bits : {0u, 0x7FFu, 0x3F3u, 0x155u}) {
    Apply(a, bits);
    Apply(b, bits);
    b.PagePresent[5] = true;
    b.UnknownModules = true;
    b.AddressViolation = true;
    b.MissingRequired = true;
    b.ImageModified = true;
    EXPECT_EQ(ComputeButtonEnabling(a), ComputeButtonEnabling(b)) << bits;
  }
}

TEST(ManagerSnapping, LeftEdgeSnapsAt99NotAt100) {
  const WindowRect prev{150, 200, 419, 770};
  WindowRect at99{99, 200, 368, 770};
  EXPECT_EQ(SnapWindowRect(at99, prev, 1920, 1040), (WindowRect{0, 200, 269, 770}));
  WindowRect at100{100, 200, 369, 770};
  EXPECT_EQ(SnapWindowRect(at100, prev, 1920, 1040), at100);
}

TEST(ManagerSnapping, OnlyMovementTowardsAnEdgeSnaps) {
  // Moving right while 99 pixels from the left edge: no jump to the left.
  const WindowRect prev{50, 300, 319, 870};
  WindowRect r{99, 300, 368, 870};
  EXPECT_EQ(SnapWindowRect(r, prev, 1920, 1040), r);
  // Already on the edge: nothing to do.
  WindowRect edge{0, 300, 269, 870};
  EXPECT_EQ(SnapWindowRect(edge, WindowRect{10, 300, 279, 870}, 1920, 1040), edge);
}

TEST(ManagerSnapping, TopRightAndBottomEdgesKeepTheSize) {
  const WindowRect prev{800, 300, 1069, 870};
  // Up to 99 from the top.
  EXPECT_EQ(SnapWindowRect({800, 99, 1069, 669}, prev, 1920, 1040),
            (WindowRect{800, 0, 1069, 570}));
  EXPECT_EQ(SnapWindowRect({800, 100, 1069, 670}, prev, 1920, 1040),
            (WindowRect{800, 100, 1069, 670}));
  // Right edge within 99 pixels while moving right.
  EXPECT_EQ(SnapWindowRect({1552, 300, 1821, 870}, prev, 1920, 1040),
            (WindowRect{1651, 300, 1920, 870}));
  EXPECT_EQ(SnapWindowRect({1551, 300, 1820, 870}, prev, 1920, 1040),
            (WindowRect{1551, 300, 1820, 870}));
  // Bottom edge within 99 pixels while moving down.
  EXPECT_EQ(SnapWindowRect({800, 371, 1069, 941}, prev, 1920, 1040),
            (WindowRect{800, 470, 1069, 1040}));
  EXPECT_EQ(SnapWindowRect({800, 370, 1069, 940}, prev, 1920, 1040),
            (WindowRect{800, 370, 1069, 940}));
}

}  // namespace
}  // namespace kvt
