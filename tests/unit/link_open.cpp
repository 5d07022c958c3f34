// Opening the program's one port by name, who closes it, and finding the port the apparatus
// answers on; the lines are scripted and reached through the port-name map.

#include <gtest/gtest.h>

#include "link/PortProbe.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/SerialPort.h"
#include "support/FakeSerialPort.h"
#include "support/TempDir.h"

using testsupport::Bursts;
using testsupport::Bytes;
using testsupport::FakeLine;

namespace {

// A program folder whose vesmar.ini maps the given names to the simulator, and a simulator port
// factory that hands out scripted lines (answering the address byte with `answers` bytes, the
// n-th opening taking the n-th entry).
class LinkOpenTest : public ::testing::Test {
 protected:
  void Map(const std::string& ports) {
    testsupport::WriteBytes(dir / "vesmar.ini", "[Ports]\r\n" + ports);
  }
  void SetUp() override {
    previous = platform::GetSimulatorPortFactory();
    platform::SetSimulatorPortFactory([this]() -> std::unique_ptr<platform::SerialPort> {
      auto line = std::make_shared<FakeLine>();
      const std::size_t n = lines.size();
      const Bytes answer = n < answers.size() ? answers[n] : Bytes{};
      line->responder = [answer](const Bytes&, platform::Parity parity) -> Bursts {
        if (parity == platform::Parity::Mark && !answer.empty()) return {answer};
        return {};
      };
      lines.push_back(line);
      return std::make_unique<testsupport::FakeSerialPort>(line);
    });
  }
  void TearDown() override {
    kvt::CloseSharedPort();
    platform::SetSimulatorPortFactory(previous);
  }

  testsupport::TempDir dir;
  testsupport::ScopedProgramDir programDir{dir.Path()};
  platform::SimulatorPortFactory previous;
  std::vector<Bytes> answers;
  std::vector<std::shared_ptr<FakeLine>> lines;
};

TEST_F(LinkOpenTest, TheOpeningObjectOwnsAndClosesThePort) {
  Map("COM2=simulator\r\n");
  {
    kvt::TSystemLink connection("COM2");
    EXPECT_TRUE(connection.OwnsPort());
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_TRUE(connection.LastOk());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->configures, 1);
    EXPECT_TRUE(kvt::SharedPortOpen());
    {
      platform::LinkLock::Guard guard(platform::TheLinkLock());
      kvt::TSystemLink user;  // talks through the same port, and leaves it open
      user.WriteBytes({0x01, 0x2E});
      EXPECT_TRUE(user.LastOk());
      EXPECT_EQ(lines[0]->writes.size(), 1u);
    }
    EXPECT_FALSE(lines[0]->closed);
  }
  EXPECT_TRUE(lines[0]->closed);
  EXPECT_FALSE(kvt::SharedPortOpen());
}

TEST_F(LinkOpenTest, NamesThatOpenNothingFailWithoutAPort) {
  Map("COM2=simulator\r\n");
  for (const std::string name : {"", "COM1", "COM9"}) {
    kvt::TSystemLink link(name);
    EXPECT_TRUE(link.OwnsPort()) << name;
    EXPECT_FALSE(link.LastOk()) << name;
    EXPECT_FALSE(link.IsOpen()) << name;
    EXPECT_FALSE(kvt::SharedPortOpen()) << name;
  }
  EXPECT_TRUE(lines.empty());
}

TEST_F(LinkOpenTest, ANewOpeningClosesTheOldPortAndAStaleOwnerLeavesTheNewOneAlone) {
  Map("COM1=simulator\r\nCOM2=simulator\r\n");
  auto first = std::make_unique<kvt::TSystemLink>("COM1");
  ASSERT_TRUE(first->IsOpen());
  kvt::TSystemLink second("COM2");
  ASSERT_TRUE(second.IsOpen());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0]->closed) << "the previous port must not be leaked";
  first.reset();
  EXPECT_FALSE(lines[1]->closed) << "an old connection object closed the new connection";
  EXPECT_TRUE(kvt::SharedPortOpen());
}

TEST_F(LinkOpenTest, ProbeTakesTheFirstPortAnsweringWithExactlyOneByte) {
  Map("COM1=simulator\r\nCOM2=simulator\r\nCOM3=simulator\r\nCOM4=simulator\r\n");
  answers = {{}, {0x08, 0x08}, {0x08}, {0x08}};
  EXPECT_EQ(kvt::ProbeMainControllerPort(), "COM3");
  ASSERT_EQ(lines.size(), 3u) << "COM4 must not be tried after COM3 answered";
  for (const auto& line : lines) {
    EXPECT_TRUE(line->closed);
    ASSERT_EQ(line->writes.size(), 1u);
    EXPECT_EQ(line->writes[0].bytes, (Bytes{0x00}));
    EXPECT_EQ(line->writes[0].parity, platform::Parity::Mark);
  }
  EXPECT_FALSE(kvt::SharedPortOpen());
}

TEST_F(LinkOpenTest, ProbeOnlyTriesOfferedNamesAndMayFindNothing) {
  Map("COM3=simulator\r\n");
  answers = {{0x08}};
  EXPECT_EQ(kvt::ProbeMainControllerPort(), "COM3");
  EXPECT_EQ(lines.size(), 1u);

  answers = {{}, {}};
  lines.clear();
  Map("COM1=simulator\r\nCOM3=simulator\r\n");
  EXPECT_EQ(kvt::ProbeMainControllerPort(), "");
  EXPECT_EQ(lines.size(), 2u);
}

}  // namespace
