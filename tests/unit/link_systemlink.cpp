// The link object against a scripted line: how replies are collected, the purge, the ninth bit,
// the memory transfers and the readers built on them.

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <thread>

#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "support/FakeSerialPort.h"

using testsupport::Bursts;
using testsupport::Bytes;
using testsupport::FakeLine;

namespace {

class LinkTest : public ::testing::Test {
 protected:
  // Every exchange holds the device lock, as the program's callers do.
  void SetUp() override {
    platform::TheLinkLock().Lock();
    line = testsupport::AttachFakeLine();
  }
  void TearDown() override {
    kvt::CloseSharedPort();
    platform::TheLinkLock().Unlock();
  }

  // Answers every write with the same reply.
  void AnswerAlways(const Bursts& reply) {
    line->responder = [reply](const Bytes&, platform::Parity) { return reply; };
  }
  // Gives the main controller a page-0 memory.
  std::shared_ptr<Bytes> WithMemory(std::function<Bursts(const Bytes&)> fallback = nullptr) {
    auto mem = std::make_shared<Bytes>(0x10000, 0);
    line->responder = testsupport::MemoryResponder(mem, std::move(fallback));
    return mem;
  }

  std::shared_ptr<FakeLine> line;
  kvt::TSystemLink link;
};

Bytes Rx(const kvt::TSystemLink& link) {
  return Bytes(link.RxBuffer().begin(), link.RxBuffer().begin() + link.LastCount());
}

Bytes Iota(std::size_t n, std::uint8_t from = 0) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), from);
  return b;
}

// ----------------------------------------------------------------------------- transport

TEST_F(LinkTest, ReplyInBurstsIsCollectedWholeAndSilenceEndsIt) {
  line->Queue({{1, 2}, {3}, {4, 5, 6}, {}, {7, 8}});
  EXPECT_EQ(link.Read(100), 6u);
  EXPECT_TRUE(link.LastOk());
  EXPECT_EQ(Rx(link), (Bytes{1, 2, 3, 4, 5, 6}));
  // What came after the gap is the next reply.
  EXPECT_EQ(link.Read(100), 2u);
  EXPECT_EQ(Rx(link), (Bytes{7, 8}));
}

TEST_F(LinkTest, ChunkLimitsEachReadButNotTheReply) {
  line->Queue({{1, 2, 3, 4, 5}});
  EXPECT_EQ(link.Read(1), 5u);
  for (std::size_t max : line->readSizes) EXPECT_EQ(max, 1u);
  EXPECT_EQ(Rx(link), (Bytes{1, 2, 3, 4, 5}));
}

TEST_F(LinkTest, SilentLineGivesNothingAndKeepsTheBuffer) {
  line->Queue({{0x42, 0x43}});
  link.Read(100);
  EXPECT_EQ(link.Read(100), 0u);
  EXPECT_TRUE(link.LastOk());  // silence is no error
  EXPECT_EQ(link.LastCount(), 0u);
  EXPECT_EQ(link.RxBuffer()[0], 0x42);
  EXPECT_EQ(link.RxBuffer()[1], 0x43);
}

TEST_F(LinkTest, WriteDropsAnUnreadReply) {
  line->Queue({{0xAA, 0xBB, 0xCC}});
  AnswerAlways({{0x01, 0xE0}});
  EXPECT_EQ(link.WriteBytes({0x01, 0x2E}), 2u);
  EXPECT_TRUE(link.LastOk());
  EXPECT_EQ(line->purges, 1);
  link.Read(100);
  EXPECT_EQ(Rx(link), (Bytes{0x01, 0xE0}));
}

TEST_F(LinkTest, WriteBytesKeepsTheLowByteOfEachValue) {
  link.WriteBytes({0x123, -1, 0x45});
  ASSERT_EQ(line->writes.size(), 1u);
  EXPECT_EQ(line->writes[0].bytes, (Bytes{0x23, 0xFF, 0x45}));
}

TEST_F(LinkTest, SelectModuleSendsTheAddressMarkedAndReturnsToSpace) {
  // No answer at all: the line must still be back in data parity.
  EXPECT_TRUE(link.SelectModule(0x10));
  ASSERT_EQ(line->writes.size(), 1u);
  EXPECT_EQ(line->writes[0].bytes, (Bytes{0x10}));
  EXPECT_EQ(line->writes[0].parity, platform::Parity::Mark);
  EXPECT_EQ(line->parity, platform::Parity::Space);
  EXPECT_EQ(link.LastCount(), 0u);

  AnswerAlways({{0x08}});
  link.SelectModule(0x00);
  EXPECT_EQ(link.LastCount(), 1u);
  EXPECT_EQ(link.RxBuffer()[0], 0x08);
  EXPECT_EQ(line->parity, platform::Parity::Space);
  EXPECT_EQ(line->readSizes.back(), 1u);
}

TEST_F(LinkTest, FailedWriteAndReadReportNotOk) {
  line->failWrites = true;
  EXPECT_EQ(link.WriteBytes({0x00}), 0u);
  EXPECT_FALSE(link.LastOk());
  EXPECT_EQ(link.LastCount(), 0u);
  line->failWrites = false;
  line->failReads = true;
  EXPECT_EQ(link.Read(100), 0u);
  EXPECT_FALSE(link.LastOk());
  // SetParity does not touch LastOk.
  EXPECT_TRUE(link.SetParity(platform::Parity::Space));
  EXPECT_FALSE(link.LastOk());
}

TEST_F(LinkTest, ClosedPortFailsCleanly) {
  kvt::CloseSharedPort();
  EXPECT_TRUE(line->closed);
  EXPECT_FALSE(kvt::SharedPortOpen());
  EXPECT_EQ(link.WriteBytes({0x01, 0x2E}), 0u);
  EXPECT_FALSE(link.LastOk());
  EXPECT_EQ(link.Read(100), 0u);
  EXPECT_FALSE(link.LastOk());
  EXPECT_FALSE(link.SetParity(platform::Parity::Mark));
  EXPECT_FALSE(link.SelectModule(0x00));
  Bytes dest(16, 0x55);
  link.ReadMemory(0, 16, dest.data());
  EXPECT_FALSE(link.LastTransferOk());
  EXPECT_EQ(dest, Bytes(16, 0));  // a silent line gives zeros, never stale bytes
  EXPECT_FALSE(link.CheckBank(0));
  EXPECT_EQ(link.ReadSystemType(), "");
}

TEST_F(LinkTest, ClosingThePortWhileAnotherThreadReadsIsSafe) {
  // Closing needs no device lock (the program closes under it, but the port must survive a
  // caller that forgets): a reader in the middle of a reply must not touch a freed port.
  line->readSleepMs = 20;
  line->Queue({{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}});
  platform::TheLinkLock().Unlock();
  std::thread reader([&] {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSystemLink other;
    other.Read(1);
    EXPECT_LE(other.LastCount(), 8u);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  kvt::CloseSharedPort();
  reader.join();
  platform::TheLinkLock().Lock();
  EXPECT_TRUE(line->closed);
  EXPECT_EQ(link.Read(1), 0u);
  EXPECT_FALSE(link.LastOk());
}

TEST_F(LinkTest, ExchangesWithoutTheDeviceLockStopTheCheckingBuild) {
#ifdef KVT_CHECK_DEVICE_LOCK
  platform::TheLinkLock().Unlock();
  EXPECT_DEATH(link.WriteBytes({0x00}), "Write without the device lock");
  EXPECT_DEATH(link.Read(1), "Read without the device lock");
  EXPECT_DEATH(link.SendFrame(kvt::frames::SystemType()), "SendFrame without");
  std::uint8_t b[2];
  EXPECT_DEATH(link.ReadMemory(0, 2, b), "ReadMemory without");
  EXPECT_DEATH(link.WriteMemory(0, 2, b), "WriteMemory without");
  platform::TheLinkLock().Lock();
#else
  GTEST_SKIP() << "the lock is checked in the debug and sanitizer builds";
#endif
}

TEST_F(LinkTest, ObjectsWithoutANameNeverCloseThePort) {
  { kvt::TSystemLink other; }
  EXPECT_TRUE(kvt::SharedPortOpen());
  EXPECT_FALSE(line->closed);
  EXPECT_FALSE(link.OwnsPort());
}

TEST_F(LinkTest, OverlongReplyIsCutAtTheBufferAndTheRestDropped) {
  const Bytes reply = Iota(600);
  AnswerAlways({reply});
  link.WriteBytes({0x01, 0x2E});
  EXPECT_EQ(link.Read(100), kvt::kRxBufferSize);
  EXPECT_TRUE(link.LastOk());
  EXPECT_TRUE(std::equal(link.RxBuffer().begin(), link.RxBuffer().end(), reply.begin()));
  EXPECT_TRUE(line->pending.empty()) << "the tail must not become the next reply";

  // A caller's buffer: exactly its capacity is stored, nothing beyond (ASan watches the heap
  // block; the sentinel bytes watch the rest).
  link.WriteBytes({0x01, 0x2E});
  std::vector<std::uint8_t> buf(20, 0xEE);
  EXPECT_EQ(link.ReadInto(buf.data(), 12, 100), 12u);
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 12, reply.begin()));
  for (std::size_t i = 12; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xEE) << i;
  auto exact = std::make_unique<std::uint8_t[]>(12);
  link.WriteBytes({0x01, 0x2E});
  EXPECT_EQ(link.ReadInto(exact.get(), 12, 100), 12u);
}

TEST_F(LinkTest, EndlessBabbleIsGivenUp) {
  // One burst far longer than any reply, with no gap: the read must end anyway.
  AnswerAlways({Bytes(20000, 0x55)});
  link.WriteBytes({0x00});
  EXPECT_EQ(link.Read(100), kvt::kRxBufferSize);
  // The next exchange starts clean again.
  AnswerAlways({{0x01, 0xE0}});
  link.WriteBytes({0x01, 0x2E});
  link.Read(100);
  EXPECT_EQ(Rx(link), (Bytes{0x01, 0xE0}));
}

// ----------------------------------------------------------------------------- frames

TEST(LinkFrames, PresetFramesCarryTheirParameters) {
  EXPECT_EQ(kvt::frames::PowerOn().Size(), 2u);
  const kvt::Frame shot = kvt::frames::ShotParameters(90, 200, 0x1234);
  EXPECT_EQ(shot.Size(), 6u);
  EXPECT_EQ(Bytes(shot.bytes.begin(), shot.bytes.begin() + 6),
            (Bytes{0x05, 0x03, 90, 200, 0x12, 0x34}));
  const kvt::Frame heat = kvt::frames::HeatShot(0xABCD, 0x0102);
  EXPECT_EQ(Bytes(heat.bytes.begin(), heat.bytes.begin() + 6),
            (Bytes{0x05, 0x52, 0xAB, 0xCD, 0x01, 0x02}));
  const kvt::Frame k4 = kvt::frames::K4Identified();
  EXPECT_EQ(Bytes(k4.bytes.begin(), k4.bytes.begin() + k4.Size()),
            (Bytes{0x04, 0x04, 0x8A, 0x00, 0x4D}));
  const kvt::Frame ext = kvt::frames::ExtensionModule(253);
  EXPECT_EQ(Bytes(ext.bytes.begin(), ext.bytes.begin() + ext.Size()),
            (Bytes{0x03, 0x2A, 253, 0xFF}));
  // A module-1 header still counts only its low nibble.
  EXPECT_EQ(kvt::MakeFrame({0x12, 0x20, 0x01}).Size(), 3u);
}

TEST_F(LinkTest, SendFrameWritesHeaderPlusOneBytesAndReadsInChunksOf100) {
  AnswerAlways({{0x03, 0xE0, 0x07}});
  link.SendFrame(kvt::frames::Query(1, 0x29));
  ASSERT_EQ(line->writes.size(), 1u);
  EXPECT_EQ(line->writes[0].bytes, (Bytes{0x03, 0x21, 0x01, 0x29}));
  EXPECT_EQ(line->readSizes.front(), 100u);
  EXPECT_EQ(Rx(link), (Bytes{0x03, 0xE0, 0x07}));
}

TEST_F(LinkTest, PollStateSendsOneZeroByte) {
  AnswerAlways({{24}});
  EXPECT_EQ(link.PollState(), 24);
  EXPECT_EQ(line->writes.back().bytes, (Bytes{0x00}));
  EXPECT_EQ(line->readSizes.back(), 1u);
  EXPECT_EQ(link.LastCount(), 1u);
  AnswerAlways({});
  link.PollState();
  EXPECT_EQ(link.LastCount(), 0u);
}

// ----------------------------------------------------------------------------- memory

TEST_F(LinkTest, ReadMemoryChunksOfEight) {
  auto mem = WithMemory();
  for (std::size_t i = 0; i < 0x400; ++i) (*mem)[i] = std::uint8_t(i * 7 + 3);

  Bytes dest(13, 0);
  link.ReadMemory(0x123, 0, dest.data());
  EXPECT_TRUE(line->writes.empty());

  link.ReadMemory(0x123, 5, dest.data());
  ASSERT_EQ(line->writes.size(), 1u);
  EXPECT_EQ(line->writes[0].bytes, (Bytes{0x05, 0x23, 0x05, 0x00, 0x01, 0x23}));
  EXPECT_TRUE(std::equal(dest.begin(), dest.begin() + 5, mem->begin() + 0x123));
  EXPECT_TRUE(link.LastTransferOk());

  line->writes.clear();
  link.ReadMemory(0x1FC, 13, dest.data());
  ASSERT_EQ(line->writes.size(), 2u);
  EXPECT_EQ(line->writes[0].bytes, (Bytes{0x05, 0x23, 0x08, 0x00, 0x01, 0xFC}));
  EXPECT_EQ(line->writes[1].bytes, (Bytes{0x05, 0x23, 0x05, 0x00, 0x02, 0x04}));
  EXPECT_TRUE(std::equal(dest.begin(), dest.end(), mem->begin() + 0x1FC));
  EXPECT_EQ(link.CurAddress(), 0x204u);
}

TEST_F(LinkTest, MemoryAddressesCarryAllTwentyFourBits) {
  WithMemory();
  Bytes dest(16);
  link.ReadMemory(0x04FFF8, 16, dest.data());
  ASSERT_EQ(line->writes.size(), 2u);
  EXPECT_EQ(line->writes[0].bytes, (Bytes{0x05, 0x23, 0x08, 0x04, 0xFF, 0xF8}));
  EXPECT_EQ(line->writes[1].bytes, (Bytes{0x05, 0x23, 0x08, 0x05, 0x00, 0x00}));
  EXPECT_EQ(link.CurAddress(), 0x050000u);
}

TEST_F(LinkTest, TransferProgressIsDoneTimes100OverTotal) {
  WithMemory();
  std::vector<int> seen;
  Bytes buf(20, 1);
  link.ReadMemory(0, 20, buf.data(), [&](int p) { seen.push_back(p); });
  EXPECT_EQ(seen, (std::vector<int>{40, 80, 100}));
  seen.clear();
  link.WriteMemory(0, 20, buf.data(), [&](int p) { seen.push_back(p); });
  EXPECT_EQ(seen, (std::vector<int>{40, 80, 100}));
}

TEST_F(LinkTest, ShortOrSilentMemoryRepliesAreFlaggedAndGiveZeros) {
  AnswerAlways({{0x0A, 0xE0, 0x11, 0x22}});  // two data bytes where eight were asked
  Bytes dest(8, 0x55);
  link.ReadMemory(0, 8, dest.data());
  EXPECT_FALSE(link.LastTransferOk());
  EXPECT_EQ(dest, (Bytes{0x11, 0x22, 0, 0, 0, 0, 0, 0}));
  // A refusal is no data, however many bytes came with it.
  AnswerAlways({{0x0A, 0xFC, 1, 2, 3, 4, 5, 6, 7, 8}});
  link.ReadMemory(0, 8, dest.data());
  EXPECT_FALSE(link.LastTransferOk());
}

TEST_F(LinkTest, OverlongMemoryRepliesStayInsideTheirBuffers) {
  AnswerAlways({Iota(600, 1)});
  auto dest = std::make_unique<std::uint8_t[]>(13);  // exact size: ASan sees any overrun
  link.ReadMemory(0, 13, dest.get());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(dest[i], i + 3);
  for (int i = 8; i < 13; ++i) EXPECT_EQ(dest[i], i - 8 + 3);
  EXPECT_TRUE(link.LastTransferOk());
}

TEST_F(LinkTest, WriteMemoryChunksThenCommitsAllFiveGroups) {
  auto mem = WithMemory();
  const Bytes src = Iota(20, 0x40);
  link.WriteMemory(0x0101F8, 20, src.data());
  const std::vector<Bytes> frames = line->DataFrames();
  ASSERT_EQ(frames.size(), 8u);
  Bytes first{0x0C, 0x01, 0x01, 0x01, 0xF8};
  first.insert(first.end(), src.begin(), src.begin() + 8);
  EXPECT_EQ(frames[0], first);
  EXPECT_EQ(Bytes(frames[1].begin(), frames[1].begin() + 5), (Bytes{0x0C, 0x01, 0x01, 0x02, 0x00}));
  Bytes last{0x08, 0x01, 0x01, 0x02, 0x08};
  last.insert(last.end(), src.begin() + 16, src.end());
  EXPECT_EQ(frames[2], last);
  for (std::uint8_t g = 0; g < 5; ++g) EXPECT_EQ(frames[3 + g], (Bytes{0x02, 0x45, g}));
  EXPECT_TRUE(link.LastTransferOk());
}

TEST_F(LinkTest, WriteMemoryOfNothingStillCommits) {
  WithMemory();
  bool called = false;
  link.WriteMemory(0, 0, nullptr, [&](int) { called = true; });
  const std::vector<Bytes> frames = line->DataFrames();
  ASSERT_EQ(frames.size(), 5u);
  for (std::uint8_t g = 0; g < 5; ++g) EXPECT_EQ(frames[g], (Bytes{0x02, 0x45, g}));
  EXPECT_FALSE(called);
}

TEST_F(LinkTest, WriteMemoryToASilentLineIsNotReportedAsDone) {
  const Bytes src(40, 1);
  link.WriteMemory(0, 40, src.data());
  EXPECT_FALSE(link.LastTransferOk());
  EXPECT_EQ(line->DataFrames().size(), 1u) << "a dead line is not written to any further";
}

// A chunk that goes unanswered, or is refused, stops the write there: no further chunk and no
// commit frame, so the controller never recomputes its checksums over a half-written image.
TEST_F(LinkTest, WriteMemoryStopsAtTheFirstFailedChunkAndCommitsNothing) {
  auto mem = WithMemory();
  const auto memory = line->responder;
  int frame = 0;
  Bytes failure;  // the reply of the third frame
  line->responder = [&](const Bytes& w, platform::Parity p) {
    return ++frame == 3 ? Bursts{failure} : memory(w, p);
  };
  const Bytes src = Iota(40, 1);
  for (const Bytes& reply : {Bytes{}, Bytes{0x01, 0xFC}, Bytes{0x01}}) {
    line->writes.clear();
    frame = 0;
    failure = reply;
    std::fill(mem->begin(), mem->begin() + 40, 0);
    std::vector<int> seen;
    link.WriteMemory(0, 40, src.data(), [&](int p) { seen.push_back(p); });
    EXPECT_FALSE(link.LastTransferOk());
    const std::vector<Bytes> frames = line->DataFrames();
    ASSERT_EQ(frames.size(), 3u) << reply.size();
    EXPECT_EQ(frames[2][4], 16) << "the third chunk was the last frame";
    EXPECT_EQ(seen, (std::vector<int>{20, 40}));
  }
  // A refused commit is a failed write too.
  frame = 0;
  failure = {0x01, 0xFC};
  link.WriteMemory(0, 8, src.data());
  EXPECT_FALSE(link.LastTransferOk());
}

// ----------------------------------------------------------------------------- commands

TEST_F(LinkTest, CheckBankNeedsAFreshAcceptedReply) {
  AnswerAlways({{0x01, 0xE0}});
  EXPECT_TRUE(link.CheckBank(3));
  EXPECT_EQ(line->writes.back().bytes, (Bytes{0x02, 0x44, 0x03}));
  AnswerAlways({{0x01, 0xFC}});
  EXPECT_FALSE(link.CheckBank(3));
  AnswerAlways({{0x01, 0xE0}});
  EXPECT_TRUE(link.CheckBank(3));
  // The buffer still holds E0 from the last reply; a silent controller must still mean mismatch.
  AnswerAlways({});
  EXPECT_FALSE(link.CheckBank(3));
  AnswerAlways({{0x01, 0x77}});
  EXPECT_FALSE(link.CheckBank(3));
}

TEST_F(LinkTest, BankChecksumIsTheBigEndianWordAtTheBankEnd) {
  auto mem = WithMemory();
  (*mem)[3 * 256 + 254] = 0x12;
  (*mem)[3 * 256 + 255] = 0xAB;
  EXPECT_EQ(link.ReadBankChecksum(3), 0x12AB);
  EXPECT_EQ(line->writes.back().bytes, (Bytes{0x05, 0x23, 0x02, 0x00, 0x03, 0xFE}));
}

TEST_F(LinkTest, CounterIsTenPackedDecimalDigits) {
  AnswerAlways({{0x06, 0xE0, 0x12, 0x34, 0x56, 0x78, 0x90}});
  EXPECT_EQ(link.ReadCounter(0), 1234567890.0);
  EXPECT_EQ(line->writes.back().bytes, (Bytes{0x02, 0x27, 0x00}));
  EXPECT_EQ(link.ReadCounter(1), 1234567890.0);
  EXPECT_DOUBLE_EQ(link.ReadCounter(2), 12345678.9);
  EXPECT_EQ(line->writes.back().bytes, (Bytes{0x02, 0x27, 0x02}));

  AnswerAlways({{0x06, 0xE0, 0x12, 0x3A, 0x56, 0x78, 0x90}});
  EXPECT_EQ(link.ReadCounter(0), -1) << "a nibble above 9 is no counter reading";
  AnswerAlways({{0x06, 0xE0, 0x12, 0x34}});
  EXPECT_EQ(link.ReadCounter(0), -1) << "a short reply is no counter reading";
}

TEST_F(LinkTest, SystemTypeIsTheThirdAndFourthByte) {
  AnswerAlways({{0x03, 0xE0, 'K', '4'}});
  EXPECT_EQ(link.ReadSystemType(), "K4");
  EXPECT_EQ(line->writes.back().bytes, (Bytes{0x01, 0x2E}));
  AnswerAlways({{0x03, 0xE0, 'K'}});
  EXPECT_EQ(link.ReadSystemType(), "");
}

// ----------------------------------------------------------------------------- tables

void PutWord(Bytes& mem, std::size_t at, std::uint16_t v) {
  mem[at] = std::uint8_t(v >> 8);
  mem[at + 1] = std::uint8_t(v);
}

TEST_F(LinkTest, CalibrationTableLengthFollowsItsHeader) {
  auto mem = WithMemory();
  PutWord(*mem, 0x200, 40);
  PutWord(*mem, 0x202, 60);
  PutWord(*mem, 0x204, 10);
  for (std::size_t i = 0; i < 32; ++i) PutWord(*mem, 0x210 + 2 * i, std::uint16_t(0x0100 * i + 5));
  std::vector<int> progress;
  const auto table = link.ReadCalibrationTable([&](int p) { progress.push_back(p); });
  ASSERT_EQ(table.size(), 32u);  // ((60 - 40) / 10 * 8 + 16) words
  for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(table[i], 0x0100 * i + 5) << i;
  EXPECT_EQ(progress.back(), 100);

  const std::array<std::uint16_t, 8> header = link.ReadShotHeader();
  EXPECT_EQ(header[1], 0x0105);
  EXPECT_EQ(header[7], 0x0705);
}

TEST_F(LinkTest, ImpossibleCalibrationHeadersGiveNoTable) {
  auto mem = WithMemory();
  PutWord(*mem, 0x200, 40);
  PutWord(*mem, 0x202, 60);
  PutWord(*mem, 0x204, 0);
  EXPECT_TRUE(link.ReadCalibrationTable().empty());
  PutWord(*mem, 0x202, 30);
  PutWord(*mem, 0x204, 10);
  EXPECT_TRUE(link.ReadCalibrationTable().empty());
  PutWord(*mem, 0x200, 0);
  PutWord(*mem, 0x202, 60000);
  PutWord(*mem, 0x204, 1);
  EXPECT_TRUE(link.ReadCalibrationTable().empty());
  // Only the three header words were asked for.
  for (const auto& w : line->DataFrames())
    EXPECT_LT(std::uint32_t(w[3]) << 16 | w[4] << 8 | w[5], 0x206u) << "read beyond the header";
}

TEST_F(LinkTest, ResistanceTableStartsAtTheLowByteOfTheTableStart) {
  auto mem = WithMemory();
  PutWord(*mem, 0x200, 0x0128);
  PutWord(*mem, 0x202, 0x0128 + 9);
  for (std::size_t i = 0; i < 10; ++i) (*mem)[0x328 + i] = std::uint8_t(100 + i);
  const auto table = link.ReadResistanceTable();
  EXPECT_EQ(table, Iota(10, 100));
  PutWord(*mem, 0x202, 0x0100);
  EXPECT_TRUE(link.ReadResistanceTable().empty());
}

// ----------------------------------------------------------------------------- shot curves

class ShotCurvesTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    mem = WithMemory([this](const Bytes& w) -> Bursts {
      if (w == Bytes{0x01, 0x2E}) return {{0x03, 0xE0, 'K', type}};
      return {{0x01, 0xE0}};
    });
    (*mem)[0x13] = 50;  // k = 0.5
    (*mem)[0x1E] = 3;
    PutWord(*mem, 0x300, 0);  // 20 bytes of curves
    const Bytes curves{138, 148, 140, 150, 120, 152, 0, 0};
    std::copy(curves.begin(), curves.end(), mem->begin() + 0x302);
  }
  std::shared_ptr<Bytes> mem;
  std::uint8_t type = '2';
};

TEST_F(ShotCurvesTest, SamplesAreScaledAndHalfWavesEndOnZero) {
  std::vector<int> progress;
  const auto v = link.ReadLastShotCurves([&](int p) { progress.push_back(p); }, false);
  // voltage (b - 128) / 0.5 * 2, current (b - 128) * 3.125, each + 0.5 and truncated;
  // 140 and 152 end their half-waves and become 0.
  EXPECT_EQ(v, (std::vector<int>{40, 63, 0, 69, -31, 0}));
  EXPECT_EQ(progress, (std::vector<int>{40, 80, 100}));
  // The 20 bytes after the count word were read.
  const auto frames = line->DataFrames();
  int curveFrames = 0;
  for (const auto& f : frames)
    if (f[1] == 0x23 && f[4] == 0x03 && f[5] >= 0x02) ++curveFrames;
  EXPECT_EQ(curveFrames, 3);
}

TEST_F(ShotCurvesTest, AbsoluteFlagAndTheK4CurrentFactor) {
  EXPECT_EQ(link.ReadLastShotCurves(nullptr, true), (std::vector<int>{40, 63, 0, 69, 31, 0}));
  type = '4';
  EXPECT_EQ(link.ReadLastShotCurves(nullptr, false), (std::vector<int>{40, 78, 0, 86, -31, 0}));
}

TEST_F(ShotCurvesTest, ZeroKuanGivesNoCurves) {
  (*mem)[0x13] = 0;
  EXPECT_TRUE(link.ReadLastShotCurves(nullptr, false).empty());
}

TEST_F(ShotCurvesTest, ADamagedCountWordStaysInsidePageZero) {
  (*mem)[0x1E] = 0xF0;
  PutWord(*mem, 0xF000, 0xFFFF);
  link.ReadLastShotCurves(nullptr, false);
  std::uint32_t highest = 0;
  for (const auto& f : line->DataFrames())
    if (f[1] == 0x23)
      highest = std::max(highest, (std::uint32_t(f[3]) << 16 | f[4] << 8 | f[5]) + f[2]);
  EXPECT_EQ(highest, 0x10000u);
}

}  // namespace
