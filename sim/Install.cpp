#include "sim/Install.h"

#include <cstdlib>
#include <iostream>
#include <mutex>

#include "platform/Files.h"
#include "sim/Apparatus.h"
#include "sim/MainController.h"
#include "sim/SimulatorBackend.h"

namespace sim {
namespace {

std::mutex g_mutex;
std::shared_ptr<Apparatus> g_apparatus;
std::filesystem::path g_programDir;

std::filesystem::path Normal(const std::filesystem::path& p) {
  std::error_code ec;
  auto c = std::filesystem::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : c;
}

void RegisterFactory() {
  platform::SetSimulatorPortFactory([] { return OpenSimulatorPort(); });
}

}  // namespace

void InstallSimulator(const std::filesystem::path& programDir) {
  std::shared_ptr<Apparatus> created;
  {
    std::lock_guard<std::mutex> g(g_mutex);
    std::filesystem::path dir = Normal(programDir);
    if (g_apparatus && !g_programDir.empty() && g_programDir == dir) {
      RegisterFactory();
      return;
    }
    Profile profile = LoadProfile(dir / "simulator.ini");
    std::filesystem::path memoryFile, powerFile;
    if (!profile.memoryFile.empty()) {
      std::filesystem::path f(profile.memoryFile);
      memoryFile = f.is_absolute() ? f : dir / f;
      // Beside the memory, the power level the apparatus was left in: it starts there again
      // unless the profile names a start state or alarm.
      powerFile = memoryFile;
      powerFile += ".power";
      if (profile.state < 0 && profile.alarm < 0) {
        if (const auto kept = platform::ReadTextFile(powerFile)) {
          const int level = std::atoi(kept->c_str());
          if (level == state::kOn || level == state::kReady) profile.state = level;
        }
      }
    }
    created = std::make_shared<Apparatus>(std::move(profile), memoryFile);
    created->KeepPowerIn(powerFile);
    g_apparatus = created;
    g_programDir = dir;
  }
  for (const std::string& w : created->Warnings()) std::cerr << w << '\n';
  RegisterFactory();
}

Apparatus& InstallForTest(Profile profile, const std::filesystem::path& memoryFile) {
  profile.timing = Timing::Instant;
  auto created = std::make_shared<Apparatus>(std::move(profile), memoryFile);
  {
    std::lock_guard<std::mutex> g(g_mutex);
    g_apparatus = created;
    g_programDir.clear();
  }
  RegisterFactory();
  return *created;
}

std::shared_ptr<Apparatus> CurrentApparatus() {
  std::lock_guard<std::mutex> g(g_mutex);
  return g_apparatus;
}

std::unique_ptr<platform::SerialPort> OpenSimulatorPort() {
  std::shared_ptr<Apparatus> a = CurrentApparatus();
  if (!a) return nullptr;
  auto port = std::make_unique<SimulatorBackend>(std::move(a));
  port->Configure();
  return port;
}

}  // namespace sim
