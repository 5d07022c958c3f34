// The control panel's number texts: the exposure time display and its reading back, and the two
// time counters.

#include <gtest/gtest.h>

#include "tools/Pult.h"

namespace pult = kvt::pult;

TEST(PultTexts, ExposureTimeShownAndReadBack) {
  EXPECT_EQ(pult::TText(0), "скоп");
  EXPECT_EQ(pult::TText(6), "0.06");
  EXPECT_EQ(pult::TText(150), "1.5");
  EXPECT_EQ(pult::SecondsText(0), "0");
  EXPECT_EQ(pult::ParseT("скоп"), 0);
  // Every value the keys can show reads back as itself (0.29 × 100 is not 29 in binary).
  for (int t = 0; t <= 65535; ++t) ASSERT_EQ(pult::ParseT(pult::TText(t)), t) << t;
  EXPECT_EQ(pult::ParseT("0,5"), 50);
  EXPECT_EQ(pult::ParseT(""), -1);
  EXPECT_EQ(pult::ParseT("1.2.3"), -1);
  EXPECT_EQ(pult::ParseT("-1"), -1);
}

TEST(PultTexts, Counters) {
  EXPECT_EQ(pult::WorkTimeText("12345"), "123:45");
  EXPECT_EQ(pult::WorkTimeText("45"), "45");
  EXPECT_EQ(pult::TotalExposureTimeText("12345"), "1:2:3.45");
  EXPECT_EQ(pult::TotalExposureTimeText("123"), "1.23");
  EXPECT_EQ(pult::TotalExposureTimeText("5"), "0.05");
  EXPECT_EQ(pult::NumberText(1234567890), "1234567890");
  EXPECT_EQ(pult::NumberText(12345678.9), "12345678.9");
}
