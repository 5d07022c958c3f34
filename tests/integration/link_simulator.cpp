// The link against the simulated apparatus (instant timing), reached the way the program reaches
// it: the port found by probing COM1..COM4, opened by name as the connection object.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "link/PortProbe.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/SimulatorBackend.h"
#include "support/ExactPlant.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class LinkSimulatorTest : public ::testing::Test {
 protected:
  void Start(sim::Profile profile = testsupport::ExactPlant()) {
    apparatus = &sim::InstallForTest(std::move(profile));
    const std::string port = kvt::ProbeMainControllerPort();
    ASSERT_EQ(port, "COM2");
    connection = std::make_unique<kvt::TSystemLink>(port);
    ASSERT_TRUE(connection->IsOpen());
    apparatus->ClearFrameLog();
  }
  void SetUp() override {
    testsupport::WriteBytes(dir / "vesmar.ini", "[Ports]\r\nCOM2=simulator\r\n");
    lock.emplace(platform::TheLinkLock());
  }
  void TearDown() override {
    connection.reset();
    lock.reset();
  }

  // One exposure the way the exposure objects make it: parameters, prepare, release, confirm.
  void Expose(kvt::TSystemLink& link, int kv, int ma, int hundredths) {
    apparatus->SetState(8);
    link.SendFrame(
        kvt::frames::ShotParameters(std::uint8_t(kv), std::uint8_t(ma), std::uint16_t(hundredths)));
    ASSERT_EQ(link.LastCount(), 6u);
    link.SendFrame(kvt::frames::Simple(0x49));
    WaitForState(link, 24);
    link.SendFrame(kvt::frames::Simple(0x4B));
    WaitForState(link, 73);
    link.SendFrame(kvt::frames::Simple(0x4C));
  }
  void WaitForState(kvt::TSystemLink& link, std::uint8_t wanted) {
    link.SelectModule(kvt::kMainControllerAddress);
    for (int i = 0; i < 1000; ++i)
      if (link.PollState() == wanted && link.LastCount() == 1) return;
    FAIL() << "state " << int(wanted) << " never came";
  }

  testsupport::TempDir dir;
  testsupport::ScopedProgramDir programDir{dir.Path()};
  std::optional<platform::LinkLock::Guard> lock;
  sim::Apparatus* apparatus = nullptr;
  std::unique_ptr<kvt::TSystemLink> connection;
};

TEST_F(LinkSimulatorTest, ImageReadMatchesTheControllersMemory) {
  Start();
  kvt::TSystemLink link;
  Bytes image(1280, 0xAA);
  std::vector<int> progress;
  link.ReadMemory(0, 1280, image.data(), [&](int p) { progress.push_back(p); });
  EXPECT_TRUE(link.LastTransferOk());
  EXPECT_EQ(image, apparatus->ReadMemory(0, 1280));
  ASSERT_EQ(progress.size(), 160u);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 100);
  const auto log = apparatus->FrameLog();
  ASSERT_EQ(log.size(), 160u);
  for (const auto& f : log) {
    EXPECT_TRUE(f.complete);
    EXPECT_TRUE(f.AllSpace());
    EXPECT_EQ(f.selected, 0x00);
  }
}

TEST_F(LinkSimulatorTest, WrittenBytesAreCommittedAndTheirBankChecksOut) {
  Start();
  kvt::TSystemLink link;
  for (std::uint8_t bank = 0; bank < 5; ++bank) EXPECT_TRUE(link.CheckBank(bank)) << int(bank);

  const Bytes values{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  link.WriteMemory(0x0230, std::uint32_t(values.size()), values.data());
  EXPECT_TRUE(link.LastTransferOk());
  EXPECT_EQ(apparatus->ReadMemory(0x0230, values.size()), values);
  EXPECT_TRUE(link.CheckBank(2));
  const Bytes bank = apparatus->ReadMemory(0x200, 256);
  unsigned sum = 0;
  for (int i = 0; i < 254; ++i) sum += bank[i];
  EXPECT_EQ(link.ReadBankChecksum(2), std::uint16_t(sum));

  // Changed behind the controller's back the bank no longer checks out, until a commit; a write
  // of no bytes at all still commits.
  apparatus->WriteMemory(0x0240, {0x5A});
  EXPECT_FALSE(link.CheckBank(2));
  link.WriteMemory(0, 0, nullptr);
  EXPECT_TRUE(link.CheckBank(2));
}

TEST_F(LinkSimulatorTest, AWriteInterruptedByAGapIsNeitherFinishedNorCommitted) {
  Start();
  kvt::TSystemLink link;
  const Bytes before = apparatus->ReadMemory(0x200, 64);
  Bytes values(64);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::uint8_t(~before[i]);
  // The line goes dead for a moment after the third chunk.
  int chunks = 0;
  link.WriteMemory(0x200, 64, values.data(), [&](int) {
    if (++chunks == 3) apparatus->GoSilentFor(300);
  });
  EXPECT_FALSE(link.LastTransferOk());
  EXPECT_EQ(chunks, 3);
  for (const auto& f : apparatus->FrameLog())
    EXPECT_FALSE(f.bytes.size() > 1 && f.bytes[1] == 0x45) << "commit sent";
  EXPECT_EQ(apparatus->ReadMemory(0x218, 40), Bytes(before.begin() + 0x18, before.end()));

  // Back on the line the stored checksum gives the partial write away.
  apparatus->Resume();
  EXPECT_FALSE(link.CheckBank(2));
}

TEST_F(LinkSimulatorTest, SystemTypeAndStatePoll) {
  Start();
  kvt::TSystemLink link;
  EXPECT_EQ(link.ReadSystemType(), "K2");
  link.SelectModule(kvt::kMainControllerAddress);
  EXPECT_EQ(link.LastCount(), 1u);
  link.PollState();
  EXPECT_EQ(link.LastCount(), 1u);
  EXPECT_EQ(link.RxBuffer()[0], apparatus->State());

  sim::Profile k4;
  k4.type = "K4";
  connection.reset();
  Start(k4);
  EXPECT_EQ(kvt::TSystemLink().ReadSystemType(), "K4");
}

TEST_F(LinkSimulatorTest, LastShotCurvesFollowTheExposure) {
  Start();
  kvt::TSystemLink link;
  const double shotsBefore = link.ReadCounter(2);
  ASSERT_GE(shotsBefore, 0);
  Expose(link, 90, 100, 10);
  const auto shot = apparatus->LastShot();
  ASSERT_TRUE(shot.has_value());
  EXPECT_DOUBLE_EQ(link.ReadCounter(2), shotsBefore + 1);

  const std::vector<int> samples = link.ReadLastShotCurves(nullptr, true);
  ASSERT_GE(samples.size(), 20u);
  EXPECT_EQ(samples.size() % 2, 0u);
  int peakKv = 0;
  int peakMa = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    EXPECT_GE(samples[i], 0) << "absolute values were asked for";
    if (i % 2 == 0)
      peakKv = std::max(peakKv, samples[i]);
    else
      peakMa = std::max(peakMa, samples[i]);
  }
  EXPECT_NEAR(peakKv, shot->kv, 3.0);
  EXPECT_NEAR(peakMa, shot->ma, shot->ma * 0.05 + 4);

  // Without the flag the second half-wave shows negative voltages.
  const std::vector<int> signedSamples = link.ReadLastShotCurves(nullptr, false);
  EXPECT_EQ(signedSamples.size(), samples.size());
  EXPECT_LT(*std::min_element(signedSamples.begin(), signedSamples.end()), 0);
}

TEST_F(LinkSimulatorTest, FaultyLinesNeverOverrunAndAreReported) {
  Start();
  kvt::TSystemLink link;
  const Bytes expected = apparatus->ReadMemory(0x100, 40);

  // Replies padded to 600 bytes: the data still lands right and nothing is written beyond the
  // memory-read buffer (ASan) or the receive buffer.
  apparatus->SetOverlong(true);
  Bytes got(40);
  link.ReadMemory(0x100, 40, got.data());
  EXPECT_EQ(got, expected);
  link.SendFrame(kvt::frames::SystemType());
  EXPECT_EQ(link.LastCount(), kvt::kRxBufferSize);
  apparatus->SetOverlong(false);

  // Replies a byte short: flagged, and the missing byte reads 0 rather than stale data.
  apparatus->SetTruncate(true);
  link.ReadMemory(0x100, 8, got.data());
  EXPECT_FALSE(link.LastTransferOk());
  EXPECT_EQ(got[7], 0);
  apparatus->SetTruncate(false);

  apparatus->GoSilent();
  link.ReadMemory(0x100, 8, got.data());
  EXPECT_FALSE(link.LastTransferOk());
  EXPECT_FALSE(link.CheckBank(0));
  link.PollState();
  EXPECT_EQ(link.LastCount(), 0u);
  EXPECT_EQ(link.ReadCounter(0), -1);
  apparatus->Resume();
  EXPECT_TRUE(link.CheckBank(0));
}

// Realistic timing: a controller that thinks 80 ms is still heard after the longest frames, since
// the reply's 90 ms of silence count from the frame's last byte on the wire, not from the write.
TEST(LinkRealisticTiming, ASlowControllerIsHeardAfterTheLongestFrames) {
  sim::Profile profile;
  profile.timing = sim::Timing::Realistic;
  profile.latencyMs = 80;
  profile.memoryFile.clear();
  auto apparatus = std::make_shared<sim::Apparatus>(profile);
  kvt::AttachSharedPort(std::make_unique<sim::SimulatorBackend>(apparatus));
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink link;
  link.SelectModule(kvt::kMainControllerAddress);
  ASSERT_EQ(link.LastCount(), 1u);

  const Bytes values{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  link.WriteMemory(0x0230, 8, values.data());  // one 13-byte frame, then the commits
  EXPECT_TRUE(link.LastTransferOk());
  Bytes back(8);
  link.ReadMemory(0x0230, 8, back.data());
  EXPECT_TRUE(link.LastTransferOk());
  EXPECT_EQ(back, values);
  EXPECT_EQ(apparatus->ReadMemory(0x0230, 8), values);

  // The longest frame a header can announce (the terminal sends what is typed): refused, but heard.
  link.SendFrame(kvt::MakeFrame({0x0F, 0x01, 0, 2, 0x30, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  ASSERT_EQ(link.LastCount(), 2u);
  EXPECT_EQ(link.RxBuffer()[1], kvt::kReplyRefused);
  kvt::CloseSharedPort();
}

}  // namespace
