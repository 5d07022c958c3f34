// The serial trace at the port seam: one line per exchange with the ninth bit of what was sent,
// nothing lost at a close, and the file kept below its size limit.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/SerialTrace.h"
#include "support/FakeSerialPort.h"
#include "support/TempDir.h"

namespace {

using testsupport::Bursts;
using testsupport::Bytes;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class SerialTrace : public ::testing::Test {
 protected:
  void SetUp() override { platform::TheLinkLock().Lock(); }
  void TearDown() override {
    kvt::CloseSharedPort();
    platform::TheLinkLock().Unlock();
  }
  // The fake line, traced into `file`, as the program's port.
  std::shared_ptr<testsupport::FakeLine> AttachTraced(const std::filesystem::path& file,
                                                      std::uintmax_t limit, int keep = 5) {
    auto line = std::make_shared<testsupport::FakeLine>();
    kvt::AttachSharedPort(platform::TraceSerialPort(
        std::make_unique<testsupport::FakeSerialPort>(line), file, "COM1 (fake)", limit, keep));
    return line;
  }
  testsupport::TempDir dir_;
};

TEST_F(SerialTrace, OneLinePerExchangeWithTheNinthBitAndTheReply) {
  const auto file = dir_ / "line.log";
  auto line = AttachTraced(file, platform::kTraceRotateBytes);
  line->responder = [](const Bytes& w, platform::Parity) -> Bursts {
    if (w == Bytes{0x00}) return {{0x00}};
    if (w == Bytes{0x01, 0x2E}) return {{0x21}, {0x4B, 0x32}};
    return {};
  };
  kvt::TSystemLink link;
  link.SelectModule(kvt::kMainControllerAddress);
  link.SendFrame(kvt::frames::SystemType());
  link.SendFrame(kvt::frames::PowerOn());  // no answer
  kvt::CloseSharedPort();

  const auto lines = Lines(testsupport::ReadBytes(file));
  ASSERT_EQ(lines.size(), 5u) << testsupport::ReadBytes(file);
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(stamp + R"(OPEN COM1 \(fake\))"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(stamp + R"(TX 9=1: 00 \| RX \+\d+ms: 00)")))
      << lines[1];
  EXPECT_TRUE(
      std::regex_match(lines[2], std::regex(stamp + R"(TX 9=0: 01 2E \| RX \+\d+ms: 21 4B 32)")))
      << lines[2];
  EXPECT_TRUE(std::regex_match(lines[3], std::regex(stamp + R"(TX 9=0: 01 4D \| RX: -)")))
      << lines[3];
  EXPECT_TRUE(std::regex_match(lines[4], std::regex(stamp + "CLOSE COM1 \\(fake\\)"))) << lines[4];
}

TEST_F(SerialTrace, RotatesAtTheLimitAndKeepsWholeLines) {
  const auto file = dir_ / "line.log";
  auto line = AttachTraced(file, 300);
  line->responder = [](const Bytes&, platform::Parity) -> Bursts { return {{0x08}}; };
  kvt::TSystemLink link;
  for (int i = 0; i < 40; ++i) link.PollState();
  kvt::CloseSharedPort();

  const std::string now = testsupport::ReadBytes(file);
  std::filesystem::path older = file;
  older += ".1";
  const std::string before = testsupport::ReadBytes(older);
  EXPECT_LE(now.size(), 300u);
  EXPECT_LE(before.size(), 300u);
  EXPECT_GT(before.size(), 200u);
  for (const std::string* text : {&now, &before}) {
    ASSERT_FALSE(text->empty());
    EXPECT_EQ(text->back(), '\n');
    for (const auto& l : Lines(*text))
      EXPECT_TRUE(l.find("TX 9=0: 00 | RX") != std::string::npos ||
                  l.find("CLOSE") != std::string::npos)
          << l;
  }
}

TEST_F(SerialTrace, UnopenableFileLeavesThePortUntraced) {
  auto line = AttachTraced(dir_ / "no-such-folder" / "line.log", platform::kTraceRotateBytes);
  line->responder = [](const Bytes&, platform::Parity) -> Bursts { return {{0x08}}; };
  kvt::TSystemLink link;
  EXPECT_EQ(link.PollState(), 0x08);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "no-such-folder"));
}

TEST_F(SerialTrace, KeepsTheLastFilesAndLosesNothingWhenARenameFails) {
  const auto file = dir_ / "line.log";
  const auto numbered = [&](int n) {
    std::filesystem::path p = file;
    p += "." + std::to_string(n);
    return p;
  };
  {
    auto line = AttachTraced(file, 200, 3);
    int polls = 0;
    line->responder = [&](const Bytes&, platform::Parity) -> Bursts {
      return {{std::uint8_t(++polls)}};
    };
    kvt::TSystemLink link;
    for (int i = 0; i < 60; ++i) link.PollState();
    kvt::CloseSharedPort();
  }
  // Three older files and the current one, oldest in the highest number, none beyond.
  EXPECT_FALSE(std::filesystem::exists(numbered(4)));
  std::vector<int> firsts;  // the first reply byte in each file, oldest first
  for (int n = 3; n >= 0; --n) {
    const std::string text = testsupport::ReadBytes(n ? numbered(n) : file);
    const auto at = text.find("RX +");
    ASSERT_NE(at, std::string::npos) << n;
    firsts.push_back(std::stoi(text.substr(text.find(": ", at) + 2, 2), nullptr, 16));
  }
  EXPECT_TRUE(std::is_sorted(firsts.begin(), firsts.end()));

  // FILE.1 cannot be replaced (a folder with something in it): the rotation fails and the trace
  // keeps every line in FILE instead of starting it over.
  const auto kept = dir_ / "kept.log";
  std::filesystem::path blocked = kept;
  blocked += ".1";
  std::filesystem::create_directories(blocked / "inside");
  std::vector<std::string> told;
  platform::SetSerialTraceStoppedHandler([&](const std::string& why) { told.push_back(why); });
  auto line = AttachTraced(kept, 200, 1);
  line->responder = [](const Bytes&, platform::Parity) -> Bursts { return {{0x08}}; };
  kvt::TSystemLink link;
  for (int i = 0; i < 30; ++i) link.PollState();
  kvt::CloseSharedPort();
  const auto lines = Lines(testsupport::ReadBytes(kept));
  EXPECT_EQ(lines.size(), 32u);  // OPEN, thirty polls, CLOSE
  EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));
  EXPECT_TRUE(told.empty());  // still traced
  platform::SetSerialTraceStoppedHandler(nullptr);
}

TEST_F(SerialTrace, AFileThatCannotBeReopenedStopsTheTraceAndSaysSoOnce) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows cannot remove a folder while the trace holds a file open in it";
#endif
  const auto folder = dir_ / "traces";
  std::filesystem::create_directories(folder);
  std::vector<std::string> told;
  platform::SetSerialTraceStoppedHandler([&](const std::string& why) { told.push_back(why); });
  auto line = AttachTraced(folder / "line.log", 200);
  int polls = 0;
  line->responder = [&](const Bytes&, platform::Parity) -> Bursts {
    // The folder vanishes under the trace (a stick pulled out): the rotation cannot reopen.
    if (++polls == 2) std::filesystem::remove_all(folder);
    return {{0x08}};
  };
  kvt::TSystemLink link;
  for (int i = 0; i < 30; ++i) EXPECT_EQ(link.PollState(), 0x08);
  kvt::CloseSharedPort();
  platform::SetSerialTraceStoppedHandler(nullptr);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("line.log"), std::string::npos) << told[0];
}

}  // namespace
