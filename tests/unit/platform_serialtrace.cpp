// The serial trace at the port seam: one line per exchange with the ninth bit of what was sent,
// nothing lost at a close, and the file kept below its size limit.

#include <gtest/gtest.h>

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
                                                      std::uintmax_t limit) {
    auto line = std::make_shared<testsupport::FakeLine>();
    kvt::AttachSharedPort(platform::TraceSerialPort(
        std::make_unique<testsupport::FakeSerialPort>(line), file, "COM1 (fake)", limit));
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

}  // namespace
