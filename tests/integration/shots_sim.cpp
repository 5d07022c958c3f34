// The exposure objects and the reference voltage meter against the simulated apparatus (instant
// timing): states, frames, measured results, refusals, alarms and silence.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <optional>

#include "exposure/FilamentShot.h"
#include "exposure/Snapshot.h"
#include "link/SystemLink.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ExactPlant.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "support/Watchdog.h"
#include "tools/VoltageMeter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// The simulator's line with a hook that sees every write before it goes out, so a test can change
// the apparatus at an exact point of an exchange (an alarm on the n-th poll after a command).
class TapPort : public platform::SerialPort {
 public:
  explicit TapPort(std::unique_ptr<platform::SerialPort> inner) : inner_(std::move(inner)) {}

  // Runs action once, just before the n-th state poll that follows a frame equal to trigger.
  void OnPollAfter(Bytes trigger, int n, std::function<void()> action) {
    trigger_ = std::move(trigger);
    pollsLeft_ = n;
    armed_ = false;
    action_ = std::move(action);
  }

  // Replies to the measurement pair 02 61 01 read a current of 0 (byte 5 = byte 4).
  bool zeroCurrent = false;

  bool Configure() override { return inner_->Configure(); }
  bool SetParity(platform::Parity p) override { return inner_->SetParity(p); }
  platform::Parity CurrentParity() const override { return inner_->CurrentParity(); }
  bool Purge() override { return inner_->Purge(); }
  int Write(const std::uint8_t* data, std::size_t count) override {
    const Bytes bytes(data, data + count);
    if (action_) {
      if (bytes == trigger_) {
        armed_ = true;
      } else if (armed_ && bytes == Bytes{0x00} && --pollsLeft_ == 0) {
        auto action = std::move(action_);
        action_ = nullptr;
        action();
      }
    }
    lastWrite_ = bytes;
    return inner_->Write(data, count);
  }
  int Read(std::uint8_t* dest, std::size_t max, int timeoutMs) override {
    const int got = inner_->Read(dest, max, timeoutMs);
    if (zeroCurrent && got >= 6 && lastWrite_ == Bytes{0x02, 0x61, 0x01}) dest[5] = dest[4];
    return got;
  }

 private:
  std::unique_ptr<platform::SerialPort> inner_;
  Bytes trigger_;
  int pollsLeft_ = 0;
  bool armed_ = false;
  std::function<void()> action_;
  Bytes lastWrite_;
};

class ShotsSimTest : public ::testing::Test {
 protected:
  // The shots are judged against a plant that matches its stored settings exactly.
  void Start(sim::Profile profile = testsupport::ExactPlant()) {
    apparatus = &sim::InstallForTest(std::move(profile));
    auto port = std::make_unique<TapPort>(sim::OpenSimulatorPort());
    tap = port.get();
    kvt::AttachSharedPort(std::move(port));
    kvt::TSystemLink link;
    link.SelectModule(kvt::kMainControllerAddress);
    apparatus->SetState(8);  // on, standby heating: ready for a shot
    apparatus->ClearFrameLog();
  }
  void SetUp() override { lock.emplace(platform::TheLinkLock()); }
  void TearDown() override {
    kvt::CloseSharedPort();
    lock.reset();
  }

  // The data frames the apparatus received, in order (address bytes left out).
  std::vector<Bytes> Frames() { return testsupport::DataFrames(*apparatus); }
  int Count(const Bytes& frame) {
    const auto frames = Frames();
    return int(std::count(frames.begin(), frames.end(), frame));
  }
  // Position of the first frame equal to `frame` (-1 when none).
  int IndexOf(const Bytes& frame, int from = 0) {
    const auto frames = Frames();
    for (std::size_t i = std::size_t(from); i < frames.size(); ++i)
      if (frames[i] == frame) return int(i);
    return -1;
  }
  testsupport::ScopedUi ui;
  std::optional<platform::LinkLock::Guard> lock;
  sim::Apparatus* apparatus = nullptr;
  TapPort* tap = nullptr;
};

const Bytes kPoll{0x00};
const Bytes kPrepare{0x01, 0x49};
const Bytes kRelease{0x01, 0x4B};
const Bytes kConfirm{0x01, 0x4C};
const Bytes kPair{0x02, 0x61, 0x01};
const Bytes kSupply{0x02, 0x20, 0x37};

// ----------------------------------------------------------------------------- TSnapshot

TEST_F(ShotsSimTest, SnapshotPreparesExposesAndReadsPlausibleResults) {
  Start();
  kvt::TSnapshot shot(true);
  EXPECT_EQ(shot.Ud, 219);  // supply byte 150 of a 220 V mains × 1.464
  apparatus->ClearFrameLog();

  ASSERT_TRUE(shot.PrepareShot(80, 100, 10));
  EXPECT_EQ(apparatus->State(), 24);
  EXPECT_EQ(shot.Kv, 80);
  EXPECT_EQ(shot.Time, 10);
  ASSERT_TRUE(shot.Expose()) << kvt::ShotFailureText(shot.LastFailure);
  EXPECT_EQ(apparatus->State(), 8);  // confirmed: back to standby heating
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::None);

  const auto truth = apparatus->LastShot();
  ASSERT_TRUE(truth.has_value());
  EXPECT_NEAR(shot.Uv, 80, 1);
  EXPECT_NEAR(shot.Ia, truth->ma, 2.0);
  EXPECT_GT(shot.Ia, 50);
  EXPECT_DOUBLE_EQ(shot.Re, (shot.Ud - shot.Uv * 1.464) / (shot.Ia * 0.483));

  // The order on the line: parameters, prepare, polls up to 24, release, polls up to 73, confirm,
  // then KUAN and the measurement pair.
  const int params = IndexOf({0x05, 0x03, 80, 100, 0x00, 0x0A});
  const int prep = IndexOf(kPrepare);
  const int poll1 = IndexOf(kPoll, prep);
  const int rel = IndexOf(kRelease);
  const int poll2 = IndexOf(kPoll, rel);
  const int conf = IndexOf(kConfirm);
  const int kuan = IndexOf({0x05, 0x23, 0x01, 0x00, 0x00, 0x13}, conf);
  const int pair = IndexOf(kPair, conf);
  EXPECT_EQ(params, 0);
  EXPECT_LT(params, prep);
  EXPECT_LT(prep, poll1);
  EXPECT_LT(poll1, rel);
  EXPECT_LT(rel, poll2);
  EXPECT_LT(poll2, conf);
  EXPECT_LT(conf, kuan);
  EXPECT_LT(kuan, pair);
}

TEST_F(ShotsSimTest, SnapshotHeatShotAndMakeShot) {
  Start();
  kvt::TSnapshot shot(true);
  ASSERT_TRUE(shot.PrepareHeatShot(600, 5));
  EXPECT_EQ(shot.HeatCode, 600);
  EXPECT_EQ(shot.Time, 5);
  EXPECT_EQ(Count({0x05, 0x52, 0x02, 0x58, 0x00, 0x05}), 1);
  ASSERT_TRUE(shot.Expose());
  EXPECT_EQ(apparatus->LastShot()->filamentCode, 600);
  EXPECT_NEAR(shot.Uv, apparatus->LastShot()->kv, 1.0);

  ASSERT_TRUE(shot.MakeShot(100, 50, 6));
  EXPECT_NEAR(shot.Uv, 100, 1);
  EXPECT_NEAR(shot.Ia, apparatus->LastShot()->ma, 2.0);
}

TEST_F(ShotsSimTest, SnapshotWithoutWaitReturnsAtOnceAndMakeShotStillWaits) {
  Start();
  kvt::TSnapshot shot(false);
  apparatus->ClearFrameLog();
  ASSERT_TRUE(shot.PrepareShot(80, 100, 10));
  EXPECT_EQ(Frames().back(), kPrepare);  // no poll after the command
  // Not prepared yet: Expose polls once, sends nothing and fails.
  EXPECT_FALSE(shot.Expose());
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::NotPrepared);
  EXPECT_EQ(Count(kRelease), 0);
  EXPECT_EQ(Frames().back(), kPoll);

  // Let the preparation finish, then the release goes out without a wait.
  for (int i = 0; i < 20 && apparatus->State() != 24; ++i) {
    kvt::TSystemLink link;
    link.PollState();
  }
  ASSERT_TRUE(shot.Expose());
  EXPECT_EQ(Frames().back(), kRelease);
  EXPECT_EQ(Count(kConfirm), 0);
  shot.StopShot();
  EXPECT_EQ(apparatus->State(), 8);

  EXPECT_TRUE(shot.MakeShot(90, 80, 5));
  EXPECT_FALSE(shot.Wait);  // restored
  EXPECT_EQ(Count(kConfirm), 1);
  EXPECT_NEAR(shot.Uv, 90, 1);
}

TEST_F(ShotsSimTest, SnapshotCancelPrepare) {
  Start();
  kvt::TSnapshot shot(true);
  ASSERT_TRUE(shot.PrepareShot(80, 100, 10));
  shot.CancelPrepare();
  EXPECT_EQ(Frames().back(), (Bytes{0x01, 0x4A}));
  EXPECT_EQ(apparatus->State(), 8);
}

TEST_F(ShotsSimTest, RefusedParametersAreReported) {
  Start();
  kvt::TSnapshot shot(true);
  ui->ClearRecords();
  apparatus->ClearFrameLog();
  // 200 kV lies outside the calibration table: the controller refuses with a 3-byte reply.
  EXPECT_FALSE(shot.PrepareShot(200, 100, 5));
  EXPECT_EQ(shot.Kv, 200);
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::Refused);
  EXPECT_EQ(Count(kPrepare), 0);
  auto messages = ui->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "TSnapshot::AcceptSnapshotParameters");
  EXPECT_EQ(messages[0].text, "Параметры снимка: 200 кВ, 100мА, 0.05 с. не приняты системой.");
  EXPECT_EQ(messages[0].icon, platform::Icon::Error);
  EXPECT_TRUE(messages[0].systemModal);

  // Without the report flag: refused silently.
  ui->ClearRecords();
  EXPECT_FALSE(shot.AcceptSnapshotParameters(200, 100, 150, false));
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_TRUE(shot.AcceptSnapshotParameters(80, 100, 150, false));
}

TEST_F(ShotsSimTest, ParameterRepliesOfFiveOrSevenBytesAreRefusals) {
  Start();
  kvt::TSnapshot shot(true);
  ui->ClearRecords();
  apparatus->SetTruncate(true);  // the accepting reply loses a byte: 5 bytes
  EXPECT_FALSE(shot.AcceptSnapshotParameters(80, 100, 100, true));
  apparatus->SetTruncate(false);
  apparatus->SetGarbage(1);  // one byte too many: 7 bytes
  EXPECT_FALSE(shot.AcceptSnapshotParameters(80, 100, 100, true));
  apparatus->SetGarbage(0);
  EXPECT_TRUE(shot.AcceptSnapshotParameters(80, 100, 100, true));
  const auto messages = ui->Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].text, "Параметры снимка: 80 кВ, 100мА, 1 с. не приняты системой.");
}

TEST_F(ShotsSimTest, ParametersTheFrameCannotCarryAreNeverSent) {
  Start();
  kvt::TSnapshot shot(true);
  ui->ClearRecords();
  apparatus->ClearFrameLog();
  EXPECT_FALSE(shot.PrepareShot(336, 100, 5));  // 336 would go out as 80
  EXPECT_FALSE(shot.AcceptSnapshotParameters(80, -1, 5, false));
  EXPECT_FALSE(shot.AcceptSnapshotParameters(80, 100, 70000, false));
  EXPECT_FALSE(shot.PrepareHeatShot(-1, 5));
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::InvalidParameters);
  EXPECT_TRUE(Frames().empty());
  const auto messages = ui->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Параметры снимка: 336 кВ, 100мА, 0.05 с. не приняты системой.");
}

TEST_F(ShotsSimTest, AlarmDuringPreparationEndsTheWait) {
  Start();
  kvt::TSnapshot shot(true);
  tap->OnPollAfter(kPrepare, 2, [this] { apparatus->RaiseAlarm(0x05); });
  EXPECT_FALSE(shot.PrepareShot(80, 100, 10));
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::Alarm);
  EXPECT_EQ(Frames().back(), kPoll);  // the wait stopped at the alarm; nothing else was sent
  EXPECT_EQ(Count(kRelease), 0);
  // Expose refuses to release outside status 24.
  EXPECT_FALSE(shot.Expose());
  EXPECT_EQ(Count(kRelease), 0);
}

TEST_F(ShotsSimTest, AlarmDuringExposureEndsTheWait) {
  Start();
  kvt::TSnapshot shot(true);
  ASSERT_TRUE(shot.PrepareShot(80, 100, 10));
  const int uvBefore = shot.Uv;
  tap->OnPollAfter(kRelease, 3, [this] { apparatus->RaiseAlarm(0x10); });
  EXPECT_FALSE(shot.Expose());
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::Alarm);
  EXPECT_EQ(Count(kConfirm), 0);
  EXPECT_EQ(shot.Uv, uvBefore);
}

TEST_F(ShotsSimTest, StuckPreparationEndsAtItsTimeLimit) {
  Start();
  testsupport::Watchdog watchdog(60s, "a stuck preparation's wait");
  kvt::ShotTimeLimits limits;
  limits.prepareMs = 300;
  kvt::TSnapshot shot(true, limits);
  // The apparatus stays in preparation for good.
  tap->OnPollAfter(kPrepare, 1, [this] { apparatus->SetState(9); });
  const auto t0 = platform::TickCount();
  EXPECT_FALSE(shot.PrepareShot(80, 100, 10));
  const auto elapsed = platform::TickCount() - t0;
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::TimedOut);
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 20000u);
  // The wait slept between polls: far fewer polls than a spinning loop would make.
  EXPECT_LT(Count(kPoll), 300 / limits.pollPauseMs + 10);
}

TEST_F(ShotsSimTest, SilentApparatusEndsTheWaitsAtTheirTimeLimits) {
  Start();
  testsupport::Watchdog watchdog(60s, "a silent apparatus's wait");
  kvt::ShotTimeLimits limits;
  limits.prepareMs = 300;
  limits.exposeMs = 300;
  kvt::TSnapshot shot(true, limits);
  tap->OnPollAfter(kPrepare, 1, [this] { apparatus->GoSilent(); });
  auto t0 = platform::TickCount();
  EXPECT_FALSE(shot.PrepareShot(80, 100, 10));
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::NoAnswer);
  auto elapsed = platform::TickCount() - t0;
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 20000u);

  // Silence during the exposure.
  apparatus->Resume();
  apparatus->SetState(8);
  ASSERT_TRUE(shot.PrepareShot(80, 100, 10));
  tap->OnPollAfter(kRelease, 2, [this] { apparatus->GoSilent(); });
  t0 = platform::TickCount();
  EXPECT_FALSE(shot.Expose());
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::TimedOut);  // answered before it fell silent
  elapsed = platform::TickCount() - t0;
  EXPECT_GE(elapsed, 300u + 10 * 10);
  EXPECT_LT(elapsed, 20000u);

  // Silent from the start: Expose's first poll gets no answer.
  EXPECT_FALSE(shot.Expose());
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::NoAnswer);
}

TEST_F(ShotsSimTest, SnapshotWithoutVoltageCoefficientSaysSo) {
  Start();
  apparatus->WriteMemory(0x13, {0});
  kvt::TSnapshot shot(true);  // reading the last results at construction shows nothing
  EXPECT_EQ(shot.Uv, 0);
  ui->ClearRecords();
  EXPECT_FALSE(shot.MakeShot(80, 100, 10));
  EXPECT_EQ(shot.LastFailure, kvt::ShotFailure::NoVoltageCoefficient);
  EXPECT_EQ(shot.Uv, 0);
  EXPECT_EQ(shot.Re, 0.0);
  EXPECT_GT(shot.Ia, 0);
  const auto messages = ui->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "TSnapshot::Expose");
  EXPECT_NE(messages[0].text.find("KUAN"), std::string::npos);
}

TEST_F(ShotsSimTest, NoCurrentGivesNoResistanceFigure) {
  Start();
  tap->zeroCurrent = true;
  kvt::TSnapshot shot(true);
  EXPECT_EQ(shot.Uv, 80);
  EXPECT_EQ(shot.Ia, 0);
  EXPECT_EQ(shot.Re, 0.0);
  EXPECT_TRUE(shot.ReadShotResults());
  apparatus->ClearFrameLog();
  kvt::TFilamentShot last;
  EXPECT_TRUE(last.Ok);
  EXPECT_EQ(last.Ia, 0);
  EXPECT_EQ(last.Re, 0);
  EXPECT_EQ(Count(kSupply), 1);  // no second supply read when there is nothing to divide by
}

// ----------------------------------------------------------------------------- TFilamentShot

TEST_F(ShotsSimTest, FilamentShotMakesTheWholeExposure) {
  Start();
  apparatus->ClearFrameLog();
  kvt::TFilamentShot shot(600);
  ASSERT_TRUE(shot.Ok) << kvt::ShotFailureText(shot.Failure);
  EXPECT_EQ(shot.In, 600);
  EXPECT_EQ(shot.Time, 5);
  EXPECT_EQ(shot.Ud, 219);
  EXPECT_FLOAT_EQ(shot.Kuan, 1.0f);
  const auto truth = apparatus->LastShot();
  ASSERT_TRUE(truth.has_value());
  EXPECT_EQ(truth->filamentCode, 600);
  EXPECT_NEAR(truth->durationMs, 50, 1e-9);
  EXPECT_NEAR(shot.Uv, truth->kv, 1.0);
  EXPECT_NEAR(shot.Ia, truth->ma, 2.0);
  EXPECT_EQ(shot.Re, int(double(150 - shot.Uv) / shot.Ia * 256));
  EXPECT_EQ(apparatus->State(), 8);

  const int heat = IndexOf({0x05, 0x52, 0x02, 0x58, 0x00, 0x05});
  ASSERT_GE(heat, 0);
  EXPECT_EQ(IndexOf(kSupply), 0);
  EXPECT_LT(IndexOf(kPoll), heat);
  EXPECT_LT(heat, IndexOf(kRelease));
  EXPECT_LT(IndexOf(kRelease), IndexOf(kConfirm));
  EXPECT_LT(IndexOf(kConfirm), IndexOf(kPair));
  EXPECT_EQ(Frames().back(), kSupply);  // the supply byte again for Re

  // A higher code: more current, less voltage.
  kvt::TFilamentShot hotter(700);
  ASSERT_TRUE(hotter.Ok);
  EXPECT_GT(hotter.Ia, shot.Ia);
  EXPECT_LT(hotter.Uv, shot.Uv);

  // Without a code: the last exposure's results, no exposure.
  apparatus->ClearFrameLog();
  kvt::TFilamentShot last;
  EXPECT_TRUE(last.Ok);
  EXPECT_EQ(last.Uv, hotter.Uv);
  EXPECT_EQ(last.Ia, hotter.Ia);
  EXPECT_EQ(last.Re, hotter.Re);
  EXPECT_EQ(Count(kRelease), 0);
}

TEST_F(ShotsSimTest, FilamentShotRefusesABusyApparatus) {
  Start();
  apparatus->SetState(24);  // a shot is prepared already
  apparatus->ClearFrameLog();
  kvt::TFilamentShot shot(600);
  EXPECT_FALSE(shot.Ok);
  EXPECT_EQ(shot.Failure, kvt::ShotFailure::UnexpectedState);
  EXPECT_EQ(Count({0x05, 0x52, 0x02, 0x58, 0x00, 0x05}), 0);

  apparatus->RaiseAlarm(0x03);
  kvt::TFilamentShot again(600);
  EXPECT_FALSE(again.Ok);
  EXPECT_EQ(again.Failure, kvt::ShotFailure::Alarm);
}

TEST_F(ShotsSimTest, FilamentShotEndsOnAnAlarmOf128) {
  // The monitor counts 128 itself as an alarm; so does the shot.
  Start();
  testsupport::Watchdog watchdog(60s, "a filament shot's wait through an alarm");
  auto alarm128 = [this] {
    apparatus->SetAlarmCode(1);
    apparatus->SetState(128);
  };
  tap->OnPollAfter({0x05, 0x52, 0x02, 0x58, 0x00, 0x05}, 2, alarm128);
  kvt::TFilamentShot shot(600);
  EXPECT_FALSE(shot.Ok);
  EXPECT_EQ(shot.Failure, kvt::ShotFailure::Alarm);
  EXPECT_EQ(Count(kRelease), 0);

  apparatus->ClearAlarm();
  apparatus->SetState(8);
  tap->OnPollAfter(kRelease, 2, alarm128);
  kvt::TFilamentShot during(600);
  EXPECT_FALSE(during.Ok);
  EXPECT_EQ(during.Failure, kvt::ShotFailure::Alarm);
  EXPECT_EQ(Count(kConfirm), 0);
}

TEST_F(ShotsSimTest, FilamentShotWaitsHaveTimeLimits) {
  Start();
  testsupport::Watchdog watchdog(60s, "a filament shot's waits");
  kvt::ShotTimeLimits limits;
  limits.readyMs = 300;
  limits.prepareMs = 300;
  // Switched on but not yet in standby heating: never ready.
  apparatus->SetState(2);
  auto t0 = platform::TickCount();
  kvt::TFilamentShot notReady(600, limits);
  EXPECT_FALSE(notReady.Ok);
  EXPECT_EQ(notReady.Failure, kvt::ShotFailure::TimedOut);
  EXPECT_GE(platform::TickCount() - t0, 300u);

  // Silent from the start: no supply byte, no exposure.
  apparatus->GoSilent();
  apparatus->ClearFrameLog();
  t0 = platform::TickCount();
  kvt::TFilamentShot silent(600, limits);
  EXPECT_FALSE(silent.Ok);
  EXPECT_EQ(silent.Failure, kvt::ShotFailure::NoAnswer);
  EXPECT_LT(platform::TickCount() - t0, 20000u);
  kvt::TFilamentShot lastOfSilent;
  EXPECT_FALSE(lastOfSilent.Ok);

  // Falls silent during the preparation.
  apparatus->Resume();
  apparatus->SetState(8);
  tap->OnPollAfter({0x05, 0x52, 0x02, 0x58, 0x00, 0x05}, 1, [this] { apparatus->GoSilent(); });
  t0 = platform::TickCount();
  kvt::TFilamentShot mid(600, limits);
  EXPECT_FALSE(mid.Ok);
  EXPECT_EQ(mid.Failure, kvt::ShotFailure::NoAnswer);
  EXPECT_GE(platform::TickCount() - t0, 300u);
  EXPECT_LT(platform::TickCount() - t0, 20000u);
}

TEST_F(ShotsSimTest, FilamentShotWithoutVoltageCoefficientIsNotOk) {
  Start();
  apparatus->WriteMemory(0x13, {0});
  kvt::TFilamentShot shot(600);
  EXPECT_FALSE(shot.Ok);
  EXPECT_EQ(shot.Failure, kvt::ShotFailure::NoVoltageCoefficient);
  EXPECT_EQ(shot.Uv, 0);
  EXPECT_EQ(shot.Re, 0);
  EXPECT_EQ(shot.Kuan, 0.0f);
  EXPECT_TRUE(apparatus->LastShot().has_value());  // the exposure itself was made
}

// ----------------------------------------------------------------------------- TVoltageMeter

sim::Profile WithMeter(bool present) {
  sim::Profile p = testsupport::ExactPlant();
  p.voltageMeter = present;
  return p;
}

// After the meter object is gone the main controller has the bus again.
void ExpectBusBackAtMainController(sim::Apparatus& apparatus) {
  const auto log = apparatus.FrameLog();
  ASSERT_FALSE(log.empty());
  const auto& lastAddress =
      *std::find_if(log.rbegin(), log.rend(), [](const auto& f) { return f.IsAddress(); });
  EXPECT_EQ(lastAddress.bytes, Bytes{0x00});
  kvt::TSystemLink link;
  EXPECT_EQ(link.PollState(), 8);
  EXPECT_EQ(link.LastCount(), 1u);
  EXPECT_EQ(link.ReadSystemType(), "K2");
}

TEST_F(ShotsSimTest, MeterAbsentIsNotPresent) {
  Start(WithMeter(false));
  {
    kvt::TVoltageMeter meter;
    EXPECT_FALSE(meter.Present);
    EXPECT_FALSE(meter.Configure(2, 9, 5, 8));
    EXPECT_FALSE(meter.ReadSamples(2, 450));
    EXPECT_TRUE(meter.Samples.empty());
  }
  ExpectBusBackAtMainController(*apparatus);
}

TEST_F(ShotsSimTest, MeterRecordsTheMainsAndEvaluatesIt) {
  Start(WithMeter(true));
  {
    kvt::TVoltageMeter meter;
    ASSERT_TRUE(meter.Present);
    EXPECT_TRUE(meter.Reset());
    apparatus->ClearFrameLog();
    ASSERT_TRUE(meter.Configure(2, 9, 5, 8));
    EXPECT_EQ(Frames().back(), (Bytes{0x15, 0x03, 2, 9, 5, 8}));
    ASSERT_TRUE(meter.ArmTrigger(2, kvt::TVoltageMeter::LevelByte(2)));
    EXPECT_EQ(Frames().back(), (Bytes{0x14, 0x42, 2, 130, 0x00}));
    ASSERT_TRUE(meter.ReadSamples(2, 450));
    EXPECT_EQ(Frames().back(), (Bytes{0x14, 0x30, 2, 0x01, 0xC2}));
    ASSERT_EQ(meter.Samples.size(), 450u);
    // The mains of 220 V through the module's calibration.
    EXPECT_NEAR(meter.EffectiveValue(), 220.0, 3.0);
    EXPECT_EQ(meter.Channel, 2);
    EXPECT_EQ(meter.MeasureTime, 9);
    EXPECT_EQ(meter.PointsPerMs, 5);
    EXPECT_EQ(meter.DataBits, 8);
    // A sine's swing is twice its amplitude: 2 × √2 × r.
    const double r = kvt::TVoltageMeter::RmsUnits(meter.Samples);
    EXPECT_NEAR(meter.Swing(2), 2 * std::sqrt(2.0) * r, 3.0);

    // Another mains voltage, another reading.
    apparatus->SetMainsVolts(200);
    ASSERT_TRUE(meter.ArmTrigger(2, 130));
    ASSERT_TRUE(meter.ReadSamples(2, 450));
    EXPECT_NEAR(meter.EffectiveValue(), 200.0, 3.0);
  }
  ExpectBusBackAtMainController(*apparatus);
}

TEST_F(ShotsSimTest, MeterRefusesMoreSamplesThanTheBufferHolds) {
  Start(WithMeter(true));
  kvt::TVoltageMeter meter;
  ASSERT_TRUE(meter.Present);
  ASSERT_TRUE(meter.Configure(2, 9, 5, 8));
  ASSERT_TRUE(meter.StartRecording());
  ASSERT_TRUE(meter.ReadSamples(2, 100));
  const Bytes before = meter.Samples;
  apparatus->ClearFrameLog();
  EXPECT_FALSE(meter.ReadSamples(2, 499));
  EXPECT_TRUE(Frames().empty());
  EXPECT_EQ(meter.Samples, before);
  EXPECT_TRUE(meter.ReadSamples(2, kvt::TVoltageMeter::kMaxSamples));
  EXPECT_EQ(meter.Samples.size(), 498u);
  // A wrong reply leaves the samples as they were.
  const Bytes kept = meter.Samples;
  apparatus->SetTruncate(true);
  EXPECT_FALSE(meter.ReadSamples(2, 100));
  EXPECT_FALSE(meter.Configure(2, 9, 5, 8));
  EXPECT_EQ(meter.Samples, kept);
  apparatus->SetTruncate(false);
  EXPECT_FALSE(meter.Configure(2, 300, 5, 8));  // not sent
}

TEST_F(ShotsSimTest, MeterArmedOnChannelOneRecordsTheExposure) {
  Start(WithMeter(true));
  {
    kvt::TVoltageMeter meter;
    ASSERT_TRUE(meter.Present);
    ASSERT_TRUE(meter.Configure(1, 5, 5, 8));
    ASSERT_TRUE(meter.ArmTrigger(1, 133));
  }
  {
    kvt::TSnapshot shot(true);
    ASSERT_TRUE(shot.MakeShot(80, 100, 10));
  }
  kvt::TVoltageMeter meter;
  ASSERT_TRUE(meter.Present);
  ASSERT_TRUE(meter.ReadSamples(1, 250));
  // The anode voltage from the swing, as the channel adjustment computes it.
  const int swing = meter.Swing(2);
  const int kv = int(float(float(swing * 1.25f) * 483) * 0.001f + 0.5f);
  EXPECT_NEAR(kv, 80, 2);
}

}  // namespace
