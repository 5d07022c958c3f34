// The measuring channels' arithmetic: the mains reading, the two coefficient formulas with the
// cases they must refuse, and the anode reference from the meter's swing.

#include <gtest/gtest.h>

#include "procedures/Amc.h"

namespace {

TEST(AmcCoefficients, FormulasOfBothChannels) {
  EXPECT_EQ(kvt::SupplyVolts(150), 219);
  EXPECT_EQ(kvt::SupplyVolts(0), 0);
  const auto kmes = kvt::NewKmes(100, 219, 230);
  ASSERT_TRUE(kmes.Ok()) << kmes.error;
  EXPECT_EQ(kmes.value, 105);
  const auto kuan = kvt::NewKuan(100, 100, 104);
  ASSERT_TRUE(kuan.Ok()) << kuan.error;
  EXPECT_EQ(kuan.value, 96);
  EXPECT_EQ(kvt::NewKuan(96, 104, 100).value, 99);  // 99.84 truncated
  EXPECT_EQ(kvt::NewKmes(255, 220, 220).value, 255);
  // Swing 166 sample units at 1.25 × 0.483 kV each: 100.2 kV.
  EXPECT_EQ(kvt::MeterAnodeKv(166), 100);
  EXPECT_EQ(kvt::MeterAnodeKv(0), 0);
}

TEST(AmcCoefficients, ZeroesAndValuesBeyondTheByteAreRefused) {
  for (const auto& c :
       {kvt::NewKmes(100, 0, 220), kvt::NewKmes(100, 220, 0), kvt::NewKmes(200, 100, 200),
        kvt::NewKmes(0, 220, 220), kvt::NewKuan(100, 0, 100), kvt::NewKuan(100, 100, 0),
        kvt::NewKuan(200, 200, 100), kvt::NewKuan(1, 50, 100), kvt::NewKmes(100, -5, 220)}) {
    EXPECT_FALSE(c.Ok()) << c.value;
    EXPECT_NE(c.error.find("не изменен"), std::string::npos) << c.error;
  }
  EXPECT_NE(kvt::NewKmes(200, 100, 200).error.find("(400)"), std::string::npos);
  EXPECT_NE(kvt::NewKuan(100, 0, 100).error.find("Измерянное"), std::string::npos);
}

}  // namespace
