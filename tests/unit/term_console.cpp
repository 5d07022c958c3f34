// The terminal console's line parsing and echo.

#include <gtest/gtest.h>

#include "tools/Terminal.h"

namespace {

using kvt::TfrmTerminal;
using Bytes = std::vector<std::uint8_t>;

TEST(TermConsoleLine, TokensBecomeBytes) {
  EXPECT_EQ(TfrmTerminal::ParseConsoleLine("1 2e"), (Bytes{0x01, 0x2E}));
  EXPECT_EQ(TfrmTerminal::ParseConsoleLine("   01   4d  "), (Bytes{0x01, 0x4D}));
  EXPECT_EQ(TfrmTerminal::ParseConsoleLine("05 23 10 00 02 00"),
            (Bytes{0x05, 0x23, 0x10, 0x00, 0x02, 0x00}));
  EXPECT_EQ(TfrmTerminal::ParseConsoleLine("ff 000FF"), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(TfrmTerminal::ParseConsoleLine(""), Bytes{});
}

TEST(TermConsoleLine, InvalidLinesAreRefused) {
  EXPECT_FALSE(TfrmTerminal::ParseConsoleLine("100"));     // larger than FF
  EXPECT_FALSE(TfrmTerminal::ParseConsoleLine("0x10"));    // the letter X
  EXPECT_FALSE(TfrmTerminal::ParseConsoleLine("01\t2E"));  // a tab is no separator
  EXPECT_FALSE(TfrmTerminal::ParseConsoleLine("01 2G"));
  EXPECT_FALSE(TfrmTerminal::ParseConsoleLine("01,02"));
  EXPECT_FALSE(TfrmTerminal::ParseConsoleLine("FFFFFFFFFFFFFFFFFFFF"));  // no wrap-around
  EXPECT_FALSE(TfrmTerminal::ParseConsoleLine("\xD0\x90"));              // Cyrillic
}

TEST(TermConsoleLine, EchoIsUpperCaseHexWithASpaceAfterEachByte) {
  const std::uint8_t bytes[] = {0x01, 0x2E, 0xAB, 0x00};
  EXPECT_EQ(TfrmTerminal::HexEcho(bytes, 4), "01 2E AB 00 ");
  EXPECT_EQ(TfrmTerminal::HexEcho(bytes, 0), "");
}

}  // namespace
