// The simulated apparatus seen byte by byte through its serial backend, as the link sees it.

#include <gtest/gtest.h>

#include <thread>

#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/SimulatorBackend.h"
#include "support/ExactPlant.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A bare line to the apparatus: what the link layer does, without the link layer.
class Line {
 public:
  explicit Line(const sim::Profile& profile = {}) : app_(&sim::InstallForTest(profile)) {
    port_ = sim::OpenSimulatorPort();
  }

  sim::Apparatus& App() { return *app_; }
  platform::SerialPort& Port() { return *port_; }

  Bytes ReadAll() {
    Bytes out;
    std::uint8_t buf[100];
    for (;;) {
      int n = port_->Read(buf, sizeof buf, platform::kSilenceMs);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  Bytes Select(std::uint8_t address) {
    port_->Purge();
    port_->SetParity(platform::Parity::Mark);
    port_->Write(&address, 1);
    Bytes r = ReadAll();
    port_->SetParity(platform::Parity::Space);
    return r;
  }
  Bytes Exchange(const Bytes& frame) {
    port_->Purge();
    port_->Write(frame.data(), frame.size());
    return ReadAll();
  }
  std::uint8_t Poll() {
    Bytes r = Exchange({0x00});
    EXPECT_EQ(r.size(), 1u);
    return r.empty() ? 0xFF : r[0];
  }
  // The states seen by polling until `last` comes (at most `limit` polls).
  std::vector<int> PollUntil(int last, int limit = 20) {
    std::vector<int> seen;
    for (int i = 0; i < limit; ++i) {
      int s = Poll();
      if (seen.empty() || seen.back() != s) seen.push_back(s);
      if (s == last) break;
    }
    return seen;
  }
  Bytes ReadMem(std::uint32_t a, std::uint8_t n) {
    return Exchange({0x05, 0x23, n, static_cast<std::uint8_t>(a >> 16),
                     static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a)});
  }

 private:
  sim::Apparatus* app_;
  std::unique_ptr<platform::SerialPort> port_;
};

TEST(SimBus, OnlyPresentModulesAnswerTheirAddressWithOneByte) {
  Line line;
  EXPECT_EQ(line.Select(0x00).size(), 1u);
  EXPECT_TRUE(line.Select(0x10).empty());  // no voltage meter by default
  EXPECT_TRUE(line.Select(0x20).empty());
  // With nobody selected, a state poll goes unanswered.
  EXPECT_TRUE(line.Exchange({0x00}).empty());

  sim::Profile p;
  p.voltageMeter = true;
  Line withMeter(p);
  EXPECT_EQ(withMeter.Select(0x10).size(), 1u);
  EXPECT_EQ(withMeter.Exchange({0x10}).size(), 1u);  // the module's state poll
  // A main-controller frame while the meter is selected is not the meter's.
  EXPECT_TRUE(withMeter.Exchange({0x01, 0x2E}).empty());
  EXPECT_EQ(withMeter.Select(0x00).size(), 1u);
  EXPECT_EQ(withMeter.Exchange({0x01, 0x2E}).size(), 4u);
}

TEST(SimBus, IdentifiesTypeVersionAndModules) {
  sim::Profile p;
  p.type = "K4";
  p.version = 31;
  p.pageCodes[6] = 66;
  p.extensionCodes[1] = 77;  // module 253
  Line line(p);
  line.Select(0x00);
  EXPECT_EQ(line.Exchange({0x01, 0x2E}), (Bytes{0x03, 0xE0, 'K', '4'}));
  Bytes v = line.Exchange({0x01, 0x2F});
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[2], 31);
  const int expected[16] = {10,  21,  32,  43,  54,  255, 66,  255,
                            255, 255, 255, 255, 255, 255, 255, 255};
  for (int page = 0; page < 16; ++page) {
    Bytes r = line.ReadMem(static_cast<std::uint32_t>(page) * 0x10000 + 0xFFFF, 1);
    ASSERT_EQ(r.size(), 3u) << page;
    EXPECT_EQ(r[2], expected[page]) << page;
  }
  EXPECT_EQ(line.Exchange({0x03, 0x2A, 253, 0xFF})[2], 77);
  EXPECT_EQ(line.Exchange({0x03, 0x2A, 252, 0xFF})[2], 255);
}

TEST(SimBus, MemoryReadWriteFrames) {
  Line line;
  line.Select(0x00);
  Bytes w = line.Exchange({0x09, 0x01, 0x00, 0x01, 0x50, 1, 2, 3, 4, 5});
  ASSERT_GE(w.size(), 2u);
  EXPECT_EQ(w[1], 0xE0);
  Bytes r = line.ReadMem(0x000150, 6);
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[1], 0xE0);
  EXPECT_EQ(Bytes(r.begin() + 2, r.end()), (Bytes{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(line.App().ReadMemory(0x150, 5), (Bytes{1, 2, 3, 4, 5}));

  // More than eight bytes, none, or beyond the 16 pages: refused.
  EXPECT_EQ(line.ReadMem(0x000150, 9), (Bytes{0x01, 0xFC}));
  EXPECT_EQ(line.ReadMem(0x000150, 0), (Bytes{0x01, 0xFC}));
  EXPECT_EQ(line.ReadMem(0x100000, 1), (Bytes{0x01, 0xFC}));

  // The default image's tables are where the program looks for them.
  Bytes t = line.ReadMem(0x000200, 6);
  EXPECT_EQ(Bytes(t.begin() + 2, t.end()), (Bytes{0, 40, 0, 120, 0, 10}));
  EXPECT_EQ(line.ReadMem(0x13, 1)[2], 100);  // KUAN
  EXPECT_EQ(line.ReadMem(0x15, 1)[2], 100);  // KMES
}

TEST(SimBus, ChecksumsAreVerifiedAndRecomputedOnCommit) {
  Line line;
  line.Select(0x00);
  for (std::uint8_t b = 0; b < 5; ++b) EXPECT_EQ(line.Exchange({0x02, 0x44, b})[1], 0xE0) << int(b);

  // The stored word is the 16-bit sum of bytes 0..253, big-endian.
  Bytes bank2 = line.App().ReadMemory(0x200, 256);
  std::uint16_t sum = 0;
  for (int i = 0; i < 254; ++i) sum = static_cast<std::uint16_t>(sum + bank2[i]);
  EXPECT_EQ(bank2[254] << 8 | bank2[255], sum);

  line.Exchange({0x05, 0x01, 0x00, 0x02, 0x30, 0x77});
  EXPECT_EQ(line.Exchange({0x02, 0x44, 0x02})[1], 0xFC);
  EXPECT_EQ(line.Exchange({0x02, 0x44, 0x01})[1], 0xE0);
  line.Exchange({0x02, 0x45, 0x02});
  EXPECT_EQ(line.Exchange({0x02, 0x44, 0x02})[1], 0xE0);
}

TEST(SimBus, BrokenBanksFailTheirCheckUntilCommitted) {
  sim::Profile p;
  p.brokenBanks = {3, 5};
  Line line(p);
  line.Select(0x00);
  EXPECT_EQ(line.Exchange({0x02, 0x44, 3})[1], 0xFC);
  EXPECT_EQ(line.Exchange({0x02, 0x44, 5})[1], 0xFC);
  EXPECT_EQ(line.Exchange({0x02, 0x44, 4})[1], 0xE0);
  line.Exchange({0x02, 0x45, 3});
  EXPECT_EQ(line.Exchange({0x02, 0x44, 3})[1], 0xE0);
}

TEST(SimBus, PowerStandbyAndExposureRunThroughTheirStates) {
  Line line(testsupport::ExactPlant());
  line.Select(0x00);
  EXPECT_EQ(line.Poll(), 0);
  // Standby heating needs the apparatus on.
  EXPECT_EQ(line.Exchange({0x01, 0x47})[1], 0xFC);
  line.Exchange({0x01, 0x4D});
  EXPECT_EQ(line.PollUntil(2), (std::vector<int>{1, 2}));
  line.Exchange({0x01, 0x47});
  EXPECT_EQ(line.PollUntil(8), (std::vector<int>{2, 4, 8}));

  // Out-of-range parameters are refused with a reply that is not 6 bytes long.
  EXPECT_NE(line.Exchange({0x05, 0x03, 200, 100, 0, 5}).size(), 6u);
  EXPECT_NE(line.Exchange({0x05, 0x03, 80, 100, 0x10, 0}).size(), 6u);
  Bytes ok = line.Exchange({0x05, 0x03, 80, 100, 0, 5});
  EXPECT_EQ(ok, (Bytes{0x05, 0xE0, 80, 100, 0, 5}));

  // Release before the preparation is complete is refused.
  line.Exchange({0x01, 0x49});
  EXPECT_EQ(line.Exchange({0x01, 0x4B})[1], 0xFC);
  EXPECT_EQ(line.PollUntil(24), (std::vector<int>{9, 10, 24}));
  line.Exchange({0x01, 0x4B});
  EXPECT_EQ(line.PollUntil(73), (std::vector<int>{56, 57, 58, 59, 72, 73}));
  line.Exchange({0x01, 0x4C});
  EXPECT_EQ(line.Poll(), 8);

  // The measurement pair tells the set voltage through KUAN (100 = factor 1.00).
  Bytes m = line.Exchange({0x02, 0x61, 0x01});
  ASSERT_EQ(m.size(), 6u);
  EXPECT_NEAR(m[3] - m[2], 80, 1);

  // Cancel before release goes back to standby; a heat-code shot prepares to 24 as well.
  line.Exchange({0x01, 0x49});
  line.Exchange({0x01, 0x4A});
  EXPECT_EQ(line.Poll(), 8);
  line.Exchange({0x05, 0x52, 0x03, 0x20, 0x00, 0x05});
  EXPECT_EQ(line.PollUntil(24).back(), 24);
  line.Exchange({0x01, 0x4B});
  line.Poll();
  // Stop during the exposure.
  EXPECT_EQ(line.Exchange({0x01, 0x53})[1], 0xE0);
  EXPECT_EQ(line.Poll(), 8);

  line.Exchange({0x01, 0x40});
  EXPECT_EQ(line.Poll(), 0);
}

TEST(SimBus, CountersArePackedBcdAndCountShots) {
  Line line;
  line.Select(0x00);
  auto counter = [&](std::uint8_t s) {
    Bytes r = line.Exchange({0x02, 0x27, s});
    EXPECT_EQ(r.size(), 7u);
    std::uint64_t v = 0;
    for (int i = 2; i < 7 && i < static_cast<int>(r.size()); ++i) {
      EXPECT_LE(r[i] >> 4, 9);
      EXPECT_LE(r[i] & 0x0F, 9);
      v = v * 100 + (r[i] >> 4) * 10 + (r[i] & 0x0F);
    }
    return v;
  };
  std::uint64_t shots = counter(2);
  std::uint64_t time = counter(1);
  line.App().SetState(8);
  line.Exchange({0x05, 0x03, 70, 100, 0, 12});
  line.Exchange({0x01, 0x49});
  line.PollUntil(24);
  line.Exchange({0x01, 0x4B});
  line.PollUntil(73);
  EXPECT_EQ(counter(2), shots + 100);  // the program shows this counter divided by 100
  EXPECT_EQ(counter(1), time + 12);
}

TEST(SimBus, FrameLogKeepsWhatWasSentWithItsParity) {
  Line line;
  line.App().ClearFrameLog();
  line.Select(0x00);
  line.Exchange({0x02, 0x44, 0x01});
  auto log = line.App().LastFrames(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[0].IsAddress());
  EXPECT_EQ(log[0].bytes, (Bytes{0x00}));
  EXPECT_TRUE(log[1].AllSpace());
  EXPECT_TRUE(log[1].complete);
  EXPECT_EQ(log[1].bytes, (Bytes{0x02, 0x44, 0x01}));
  EXPECT_EQ(log[1].selected, 0x00);
  EXPECT_EQ(line.App().ExchangeCount(), 2u);

  // Data written with mark parity is seen as address bytes, and a frame cut by one is logged
  // as incomplete.
  std::uint8_t head = 0x02;
  line.Port().Write(&head, 1);
  line.Port().SetParity(platform::Parity::Mark);
  std::uint8_t addr = 0x00;
  line.Port().Write(&addr, 1);
  line.Port().SetParity(platform::Parity::Space);
  log = line.App().LastFrames(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_FALSE(log[0].complete);
  EXPECT_TRUE(log[1].IsAddress());
}

TEST(SimFaults, SilentApparatusAnswersNothing) {
  sim::Profile p;
  p.silent = true;
  Line line(p);
  EXPECT_TRUE(line.Select(0x00).empty());
  EXPECT_TRUE(line.Exchange({0x01, 0x2E}).empty());
  line.App().Resume();
  EXPECT_EQ(line.Select(0x00).size(), 1u);
}

TEST(SimFaults, SilentAfterAndSilentForRecover) {
  sim::Profile p;
  p.silentAfter = 3;
  p.silentForMs = 150;
  Line line(p);
  EXPECT_EQ(line.Select(0x00).size(), 1u);            // 1
  EXPECT_EQ(line.Poll(), 0);                          // 2
  EXPECT_EQ(line.Exchange({0x01, 0x2F}).size(), 3u);  // 3
  EXPECT_TRUE(line.Exchange({0x00}).empty());         // 4: dead
  EXPECT_TRUE(line.Exchange({0x00}).empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(line.Exchange({0x00}).size(), 1u);
  EXPECT_EQ(line.Exchange({0x01, 0x2F}).size(), 3u);
}

TEST(SimFaults, SilentAfterWithoutSilentForIsForGood) {
  sim::Profile p;
  p.silentAfter = 1;
  Line line(p);
  EXPECT_EQ(line.Select(0x00).size(), 1u);
  EXPECT_TRUE(line.Exchange({0x00}).empty());
  EXPECT_TRUE(line.App().IsSilent());
}

TEST(SimFaults, ScriptedSilenceForAWhile) {
  Line line;
  line.Select(0x00);
  line.App().GoSilentFor(100);
  EXPECT_TRUE(line.Exchange({0x00}).empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(line.Exchange({0x00}).size(), 1u);
}

TEST(SimFaults, ReplyShapes) {
  sim::Profile p;
  p.garbage = 3;
  Line garbage(p);
  EXPECT_EQ(garbage.Select(0x00).size(), 1u);      // the address answer stays clean
  EXPECT_EQ(garbage.Exchange({0x00}).size(), 1u);  // so does the state poll
  Bytes r = garbage.Exchange({0x01, 0x2E});
  ASSERT_EQ(r.size(), 7u);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 4), (Bytes{0x03, 0xE0, 'K', '2'}));

  sim::Profile t;
  t.truncate = true;
  Line truncated(t);
  truncated.Select(0x00);
  truncated.App().SetState(8);
  EXPECT_EQ(truncated.Exchange({0x05, 0x03, 80, 100, 0, 5}).size(), 5u);

  sim::Profile o;
  o.overlong = true;
  Line overlong(o);
  overlong.Select(0x00);
  EXPECT_EQ(overlong.Exchange({0x01, 0x2E}).size(), 600u);
}

TEST(SimScript, AlarmsCarryTheirCodeAndClear) {
  sim::Profile p;
  p.alarm = 0x1F;
  Line line(p);
  line.Select(0x00);
  EXPECT_EQ(line.Poll(), sim::state::kAlarmOn);
  EXPECT_EQ(line.Exchange({0x02, 0x20, 0x23})[2], 0x1F);
  line.App().SetAlarmCode(0x8A);
  EXPECT_EQ(line.Exchange({0x02, 0x20, 0x23})[2], 0x8A);
  // Switching off is the way out of an alarm.
  line.Exchange({0x01, 0x40});
  EXPECT_EQ(line.Poll(), 0);
  EXPECT_EQ(line.Exchange({0x02, 0x20, 0x23})[2], 0);

  line.App().SetState(8);
  line.App().RaiseAlarm(0x04);
  EXPECT_EQ(line.Poll(), sim::state::kAlarmOn);
  line.App().ClearAlarm();
  EXPECT_EQ(line.Poll(), 8);
}

}  // namespace
