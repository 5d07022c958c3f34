#pragma once
// The program-wide status record: written by the connection set-up, the state monitor, the
// configuration workflows and the tools; read by the main window to enable its commands.
// The monitor thread writes the flags while the interface thread reads them, so each is atomic.

#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace kvt {

struct SystemStatusRecord {
  std::atomic<bool> LinkUp{false};
  std::atomic<bool> SystemOn{false};
  std::atomic<bool> Preheated{false};
  std::atomic<bool> ImageLoaded{false};
  std::atomic<bool> ChecksumsOk{false};
  std::atomic<bool> TypeKnown{false};
  std::atomic<bool> UnknownModules{false};
  std::atomic<bool> AddressViolation{false};
  std::atomic<bool> MissingRequired{false};
  std::array<std::atomic<bool>, 6> PagePresent{};
  std::atomic<bool> ImageModified{false};

  std::string SystemType() const {
    std::lock_guard<std::mutex> g(typeMutex_);
    return systemType_;
  }
  void SetSystemType(const std::string& type) {
    std::lock_guard<std::mutex> g(typeMutex_);
    systemType_ = type;
  }

  // The controller's software version as the connection read it ("2.3"; empty when unknown).
  std::string SoftwareVersion() const {
    std::lock_guard<std::mutex> g(typeMutex_);
    return softwareVersion_;
  }
  void SetSoftwareVersion(const std::string& version) {
    std::lock_guard<std::mutex> g(typeMutex_);
    softwareVersion_ = version;
  }

  // Every flag from LinkUp through the PagePresent flags; ImageModified and SystemType stay.
  void Clear() {
    LinkUp = SystemOn = Preheated = ImageLoaded = ChecksumsOk = TypeKnown = false;
    UnknownModules = AddressViolation = MissingRequired = false;
    for (auto& p : PagePresent) p = false;
  }

 private:
  mutable std::mutex typeMutex_;
  std::string systemType_;
  std::string softwareVersion_;
};

// The one record of the program.
inline SystemStatusRecord& SystemStatus() {
  static SystemStatusRecord record;
  return record;
}

}  // namespace kvt
