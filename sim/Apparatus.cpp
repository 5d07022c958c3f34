#include "sim/Apparatus.h"

#include <algorithm>

#include "platform/Files.h"

namespace sim {
namespace {

constexpr std::size_t kLogLimit = 20000;
constexpr std::size_t kOverlongSize = 600;
// A frame whose bytes stop for this long is given up (the next byte starts a new frame).
constexpr auto kFrameGap = std::chrono::milliseconds(90);

}  // namespace

Apparatus::Apparatus(Profile profile, std::filesystem::path memoryFile)
    : profile_(std::move(profile)), memoryFile_(std::move(memoryFile)) {
  warnings_ = profile_.warnings;
  BuildDefaultImage(memory_, profile_);
  if (!memoryFile_.empty()) {
    std::error_code ec;
    if (std::filesystem::exists(memoryFile_, ec)) {
      auto bytes = platform::ReadBinaryFile(memoryFile_);
      if (!bytes || !memory_.LoadPage0(*bytes)) {
        warnings_.push_back("simulator memory file " + memoryFile_.string() +
                            " is unreadable or not 65536 bytes long; the default image is used");
      }
    }
  }
  for (int page = 0; page < kPageCount; ++page)
    memory_.SetModuleCode(page, profile_.pageCodes[page]);
  for (int bank : profile_.brokenBanks) {
    if (bank < 0 || bank >= kChecksummedBanks) continue;
    std::uint16_t wrong = static_cast<std::uint16_t>(memory_.ComputeChecksum(bank) ^ 0xA55A);
    injectedBreaks_[bank] = {memory_.StoredChecksum(bank), wrong};
    memory_.SetWord(static_cast<std::uint32_t>(bank) * 256 + 254, wrong);
  }
  controller_ = std::make_unique<MainController>(profile_, memory_);
  meter_ = std::make_unique<VoltageMeterModule>(*controller_);
  meterPresent_ = profile_.voltageMeter;
  controller_->onShot = [this](const ShotResult& r) {
    if (meterPresent_) meter_->OnShot(r);
  };
  controller_->TakePage0Dirty();
}

Apparatus::~Apparatus() = default;

Timing Apparatus::TimingMode() const {
  std::lock_guard<std::mutex> g(m_);
  return profile_.timing;
}

int Apparatus::LatencyMs() const {
  std::lock_guard<std::mutex> g(m_);
  return profile_.latencyMs;
}

Profile Apparatus::CurrentProfile() const {
  std::lock_guard<std::mutex> g(m_);
  Profile p = profile_;
  p.plant = controller_->TruePlant().Settings();
  return p;
}

Apparatus::Status Apparatus::StatusNow() {
  std::lock_guard<std::mutex> g(m_);
  SimTime now = SimClock::now();
  Status s;
  s.state = controller_->State(now);
  s.alarmCode = controller_->AlarmCode();
  s.driveState = controller_->DriveState(now);
  s.filamentPercent = controller_->FilamentPercent();
  s.anodeSpeed = 100.0 * controller_->Drive().AnodeSpeed(now);
  s.anodeStoppedAfterMs = controller_->Drive().StoppedAfterMs(now);
  s.supply = controller_->SupplyValue();
  s.lastShot = controller_->LastShot();
  return s;
}

PlantSettings Apparatus::PlantNow() const {
  std::lock_guard<std::mutex> g(m_);
  return controller_->TruePlant().Settings();
}

void Apparatus::SetPlant(const PlantSettings& settings) {
  std::lock_guard<std::mutex> g(m_);
  controller_->SetPlant(settings);
}

void Apparatus::SetPhaseVolts(int phase, double volts) {
  std::lock_guard<std::mutex> g(m_);
  controller_->SetPhaseVolts(phase, volts);
}

std::vector<std::uint8_t> Apparatus::Receive(std::uint8_t byte, bool mark, SimTime at) {
  std::lock_guard<std::mutex> g(m_);
  return ReceiveLocked(byte, mark, at);
}

BusModule* Apparatus::ModuleAt(int address) {
  if (address == 0x00) return controller_.get();
  if (address == 0x10 && meterPresent_) return meter_.get();
  return nullptr;
}

void Apparatus::LogUnit(ReceivedFrame f) {
  log_.push_back(std::move(f));
  while (log_.size() > kLogLimit) log_.pop_front();
}

bool Apparatus::DeadAt(SimTime at) {
  if (profile_.silent || silentForGood_) return true;
  if (silentUntil_) {
    if (at < *silentUntil_) return true;
    silentUntil_.reset();
  }
  if (profile_.silentAfter > 0 && !silentAfterDone_ &&
      exchanges_ > static_cast<std::uint64_t>(profile_.silentAfter)) {
    silentAfterDone_ = true;
    if (profile_.silentForMs > 0) {
      silentUntil_ = at + std::chrono::milliseconds(profile_.silentForMs);
    } else {
      silentForGood_ = true;
    }
    return true;
  }
  return false;
}

std::uint8_t Apparatus::NoiseByte() {
  // xorshift: the noise is the same in every run, so a test that meets it sees it again.
  noise_ ^= noise_ << 13;
  noise_ ^= noise_ >> 17;
  noise_ ^= noise_ << 5;
  return static_cast<std::uint8_t>(noise_ & 0xFF);
}

void Apparatus::ShapeReply(std::vector<std::uint8_t>& reply) {
  if (reply.empty()) return;
  if (profile_.truncate) reply.pop_back();
  for (int i = 0; i < profile_.garbage; ++i) reply.push_back(NoiseByte());
  if (profile_.overlong) {
    while (reply.size() < kOverlongSize) reply.push_back(NoiseByte());
  }
}

std::vector<std::uint8_t> Apparatus::ReceiveLocked(std::uint8_t byte, bool mark, SimTime at) {
  std::vector<std::uint8_t> reply;
  if (havePartial_ && (mark || at - lastByteAt_ >= kFrameGap)) {
    partial_.complete = false;
    LogUnit(std::move(partial_));
    partial_ = {};
    havePartial_ = false;
  }
  lastByteAt_ = at;
  if (mark) {
    ReceivedFrame f;
    f.bytes = {byte};
    f.mark = {true};
    f.selected = selected_;
    selected_ = byte;
    ++exchanges_;
    LogUnit(std::move(f));
    if (DeadAt(at)) return reply;
    if (BusModule* m = ModuleAt(selected_)) reply.push_back(m->AnswerAddress(at));
    return reply;
  }
  if (!havePartial_) {
    partial_ = {};
    partial_.selected = selected_;
    havePartial_ = true;
  }
  partial_.bytes.push_back(byte);
  partial_.mark.push_back(false);
  if (partial_.bytes.size() == static_cast<std::size_t>(partial_.bytes[0] & 0x0F) + 1) {
    FinishFrame(at, reply);
  }
  return reply;
}

void Apparatus::FinishFrame(SimTime at, std::vector<std::uint8_t>& reply) {
  ReceivedFrame f = std::move(partial_);
  partial_ = {};
  havePartial_ = false;
  ++exchanges_;
  std::vector<std::uint8_t> bytes = f.bytes;
  LogUnit(std::move(f));
  if (DeadAt(at)) return;
  BusModule* m = ModuleAt(selected_);
  // A frame whose header names another module is not for the selected one.
  if (!m || (bytes[0] >> 4) != (m->Address() >> 4)) return;
  reply = m->HandleFrame(bytes, at);
  if (bytes.size() > 1) ShapeReply(reply);
  SaveIfDirty();
  KeepPower(at);
}

void Apparatus::KeepPowerIn(std::filesystem::path file) {
  std::lock_guard<std::mutex> g(m_);
  powerFile_ = std::move(file);
  keptPower_ = -1;
}

void Apparatus::KeepPower(SimTime at) {
  if (powerFile_.empty()) return;
  // Steady levels only: switching on counts as on, warming and everything of a shot as standby
  // heating; an alarm leaves the level as it was.
  const std::uint8_t s = controller_->State(at);
  int level;
  if (s == state::kOff)
    level = state::kOff;
  else if (s == state::kSwitchingOn || s == state::kOn)
    level = state::kOn;
  else if (s < 0x80)
    level = state::kReady;
  else
    return;
  if (level == keptPower_) return;
  if (platform::WriteFileAtomic(powerFile_, std::to_string(level) + "\n")) keptPower_ = level;
}

void Apparatus::SaveIfDirty() {
  if (controller_->TakePage0Dirty() && !memoryFile_.empty()) SaveLocked();
}

bool Apparatus::SaveLocked() {
  if (memoryFile_.empty()) return false;
  std::vector<std::uint8_t> page(memory_.Page0(), memory_.Page0() + kPageSize);
  // A checksum the profile broke is saved as it was, unless it has been rewritten since (a
  // commit repairs it for good).
  for (auto it = injectedBreaks_.begin(); it != injectedBreaks_.end();) {
    int bank = it->first;
    if (memory_.StoredChecksum(bank) != it->second.wrong) {
      it = injectedBreaks_.erase(it);
      continue;
    }
    std::size_t at = static_cast<std::size_t>(bank) * 256 + 254;
    page[at] = static_cast<std::uint8_t>(it->second.original >> 8);
    page[at + 1] = static_cast<std::uint8_t>(it->second.original & 0xFF);
    ++it;
  }
  if (!platform::WriteFileAtomic(memoryFile_, page)) {
    std::string w = "simulator memory file " + memoryFile_.string() + " cannot be written";
    if (std::find(warnings_.begin(), warnings_.end(), w) == warnings_.end()) warnings_.push_back(w);
    return false;
  }
  return true;
}

bool Apparatus::SaveMemory() {
  std::lock_guard<std::mutex> g(m_);
  return SaveLocked();
}

std::vector<std::string> Apparatus::Warnings() {
  std::lock_guard<std::mutex> g(m_);
  return warnings_;
}

std::uint8_t Apparatus::State() {
  std::lock_guard<std::mutex> g(m_);
  return controller_->State(SimClock::now());
}

void Apparatus::SetState(std::uint8_t code) {
  std::lock_guard<std::mutex> g(m_);
  controller_->SetState(code, SimClock::now());
}

void Apparatus::RaiseAlarm(std::uint8_t code) {
  std::lock_guard<std::mutex> g(m_);
  controller_->RaiseAlarm(code, SimClock::now());
}

void Apparatus::SetAlarmCode(std::uint8_t code) {
  std::lock_guard<std::mutex> g(m_);
  controller_->SetAlarmCode(code);
}

void Apparatus::ClearAlarm() {
  std::lock_guard<std::mutex> g(m_);
  controller_->ClearAlarm(SimClock::now());
}

std::uint8_t Apparatus::AlarmCode() {
  std::lock_guard<std::mutex> g(m_);
  return controller_->AlarmCode();
}

std::uint8_t Apparatus::DriveState() {
  std::lock_guard<std::mutex> g(m_);
  return controller_->DriveState(SimClock::now());
}

void Apparatus::GoSilent() {
  std::lock_guard<std::mutex> g(m_);
  silentForGood_ = true;
}

void Apparatus::GoSilentFor(int ms) {
  std::lock_guard<std::mutex> g(m_);
  silentUntil_ = SimClock::now() + std::chrono::milliseconds(std::max(0, ms));
}

void Apparatus::Resume() {
  std::lock_guard<std::mutex> g(m_);
  silentForGood_ = false;
  silentUntil_.reset();
  profile_.silent = false;
  silentAfterDone_ = true;
}

bool Apparatus::IsSilent() {
  std::lock_guard<std::mutex> g(m_);
  if (profile_.silent || silentForGood_) return true;
  return silentUntil_ && SimClock::now() < *silentUntil_;
}

void Apparatus::SetGarbage(int bytes) {
  std::lock_guard<std::mutex> g(m_);
  profile_.garbage = std::max(0, bytes);
}

void Apparatus::SetTruncate(bool on) {
  std::lock_guard<std::mutex> g(m_);
  profile_.truncate = on;
}

void Apparatus::SetOverlong(bool on) {
  std::lock_guard<std::mutex> g(m_);
  profile_.overlong = on;
}

void Apparatus::SetModuleCode(int page, int code) {
  std::lock_guard<std::mutex> g(m_);
  if (page < 0 || page >= kPageCount) return;
  profile_.pageCodes[page] = code & 0xFF;
  memory_.SetModuleCode(page, code & 0xFF);
}

void Apparatus::SetExtensionCode(int m, int code) {
  std::lock_guard<std::mutex> g(m_);
  if (m < 252 || m > 255) return;
  profile_.extensionCodes[m - 252] = code & 0xFF;
  controller_->SetExtensionCode(m - 252, code & 0xFF);
}

void Apparatus::SetVoltageMeterPresent(bool present) {
  std::lock_guard<std::mutex> g(m_);
  meterPresent_ = present;
  profile_.voltageMeter = present;
}

void Apparatus::SetMainsVolts(double volts) {
  std::lock_guard<std::mutex> g(m_);
  controller_->SetMainsVolts(volts);
}

std::vector<std::uint8_t> Apparatus::ReadMemory(std::uint32_t address, std::size_t count) {
  std::lock_guard<std::mutex> g(m_);
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < count && address + i < kMemorySize; ++i) {
    out.push_back(memory_.At(address + static_cast<std::uint32_t>(i)));
  }
  return out;
}

void Apparatus::WriteMemory(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> g(m_);
  bool page0 = false;
  for (std::size_t i = 0; i < bytes.size() && address + i < kMemorySize; ++i) {
    memory_.Set(address + static_cast<std::uint32_t>(i), bytes[i]);
    page0 = page0 || address + i < kPageSize;
  }
  if (page0) SaveLocked();
}

void Apparatus::CommitBank(int bank) {
  std::lock_guard<std::mutex> g(m_);
  memory_.Commit(bank);
  SaveLocked();
}

bool Apparatus::BankChecksumOk(int bank) {
  std::lock_guard<std::mutex> g(m_);
  return memory_.BankOk(bank);
}

void Apparatus::BreakBank(int bank) {
  std::lock_guard<std::mutex> g(m_);
  if (bank < 0 || bank >= kChecksummedBanks) return;
  memory_.SetWord(static_cast<std::uint32_t>(bank) * 256 + 254,
                  static_cast<std::uint16_t>(memory_.ComputeChecksum(bank) ^ 0xA55A));
}

std::optional<ShotResult> Apparatus::LastShot() {
  std::lock_guard<std::mutex> g(m_);
  return controller_->LastShot();
}

PanelOutputs Apparatus::ConsoleOutputs() {
  std::lock_guard<std::mutex> g(m_);
  return controller_->Console().Outputs();
}

void Apparatus::SetConsoleValues(const PanelValues& values) {
  std::lock_guard<std::mutex> g(m_);
  controller_->Console().Show(values);
}

std::uint64_t Apparatus::ExchangeCount() {
  std::lock_guard<std::mutex> g(m_);
  return exchanges_;
}

std::vector<ReceivedFrame> Apparatus::FrameLog() {
  std::lock_guard<std::mutex> g(m_);
  return {log_.begin(), log_.end()};
}

std::vector<ReceivedFrame> Apparatus::LastFrames(std::size_t n) {
  std::lock_guard<std::mutex> g(m_);
  n = std::min(n, log_.size());
  return {log_.end() - static_cast<std::ptrdiff_t>(n), log_.end()};
}

void Apparatus::ClearFrameLog() {
  std::lock_guard<std::mutex> g(m_);
  log_.clear();
}

}  // namespace sim
