// Realistic timing of the simulated line: byte times, silences and wall-clock state sequences.
// Only lower bounds are asserted (a loaded machine can only make things slower).

#include <gtest/gtest.h>

#include <thread>

#include "sim/Apparatus.h"
#include "sim/SimulatorBackend.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

std::shared_ptr<sim::Apparatus> Realistic() {
  sim::Profile p;
  p.timing = sim::Timing::Realistic;
  p.latencyMs = 2;
  return std::make_shared<sim::Apparatus>(p);
}

Bytes Collect(platform::SerialPort& port, int* reads = nullptr) {
  Bytes out;
  std::uint8_t buf[100];
  int n;
  int count = 0;
  while ((n = port.Read(buf, sizeof buf, platform::kSilenceMs)) > 0) {
    out.insert(out.end(), buf, buf + n);
    ++count;
  }
  if (reads) *reads = count;
  return out;
}

void Select(platform::SerialPort& port, std::uint8_t address) {
  port.SetParity(platform::Parity::Mark);
  port.Write(&address, 1);
  Collect(port);
  port.SetParity(platform::Parity::Space);
}

TEST(SimTiming, SilenceAndByteTimesAreReal) {
  sim::SimulatorBackend port(Realistic());
  std::uint8_t buf[10];
  auto t0 = Clock::now();
  EXPECT_EQ(port.Read(buf, sizeof buf, 90), 0);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(89));

  Select(port, 0x00);
  port.Purge();
  const Bytes frame{0x01, 0x2F};
  t0 = Clock::now();
  port.Write(frame.data(), frame.size());
  // The first byte of the reply cannot be there before both bytes went out, the controller
  // thought, and one byte came back.
  int n = port.Read(buf, sizeof buf, 90);
  auto first = Clock::now() - t0;
  EXPECT_GE(n, 1);
  EXPECT_GE(first, 3 * sim::kByteTime);
  int reads = 0;
  Bytes rest = Collect(port, &reads);
  EXPECT_EQ(n + rest.size(), 3u);
  EXPECT_GE(Clock::now() - t0, 5 * sim::kByteTime + std::chrono::milliseconds(90));
}

TEST(SimTiming, SwitchingOnTakesItsTimeOnTheWallClock) {
  sim::SimulatorBackend port(Realistic());
  Select(port, 0x00);
  auto poll = [&] {
    port.Purge();
    std::uint8_t z = 0;
    port.Write(&z, 1);
    Bytes r = Collect(port);
    return r.empty() ? -1 : r[0];
  };
  const Bytes on{0x01, 0x4D};
  port.Write(on.data(), on.size());
  Collect(port);
  EXPECT_EQ(poll(), 1);
  // Standby heating asked for while still switching on is carried out once the apparatus is on.
  const Bytes heat{0x01, 0x47};
  port.Purge();
  port.Write(heat.data(), heat.size());
  EXPECT_EQ(Collect(port).at(1), 0xE0);
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  EXPECT_EQ(poll(), 8);
}

TEST(SimTiming, ConcurrentLinesAndScriptingStayConsistent) {
  std::shared_ptr<sim::Apparatus> app;
  std::atomic<bool> stop{false};
  std::atomic<int> answered{0};
  auto worker = [&] {
    sim::SimulatorBackend port(app);
    while (!stop) {
      Select(port, 0x00);
      port.Purge();
      std::uint8_t z = 0;
      port.Write(&z, 1);
      if (!Collect(port).empty()) ++answered;
    }
  };
  sim::Profile instant;
  instant.timing = sim::Timing::Instant;
  app = std::make_shared<sim::Apparatus>(instant);
  std::thread a(worker);
  std::thread b(worker);
  for (int i = 0; i < 200; ++i) {
    app->RaiseAlarm(static_cast<std::uint8_t>(i));
    app->ClearAlarm();
    app->WriteMemory(0x150, {static_cast<std::uint8_t>(i)});
    if (i % 20 == 0) app->LastFrames(10);
  }
  for (int i = 0; i < 500 && answered < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stop = true;
  a.join();
  b.join();
  EXPECT_GT(answered.load(), 0);
  // The last scripted change wins: alarm cleared, the apparatus back off.
  EXPECT_EQ(app->AlarmCode(), 0);
  EXPECT_EQ(app->State(), 0);
  for (const auto& f : app->FrameLog()) {
    if (f.complete && !f.IsAddress()) {
      EXPECT_EQ(f.bytes.size(), (f.bytes[0] & 0x0Fu) + 1);
    }
  }
}

}  // namespace
