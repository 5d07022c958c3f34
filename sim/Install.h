#pragma once

#include <filesystem>
#include <memory>

#include "platform/SerialPort.h"
#include "sim/Profile.h"

namespace sim {

class Apparatus;

// Makes ports mapped to "simulator" reach one process-wide simulated apparatus whose profile is
// programDir/simulator.ini and whose page-0 memory is kept in the profile's MemoryFile there.
// Calling it again with the same folder keeps the running apparatus. Problems with the profile
// are written to the standard error stream (and kept in Apparatus::Warnings()).
void InstallSimulator(const std::filesystem::path& programDir);

// For tests: replaces the process-wide apparatus by a new one built from `profile` in instant
// timing (whatever the profile says), registers the port factory and returns the apparatus.
// Page 0 is kept in memoryFile when one is given; the profile's MemoryFile is not used.
Apparatus& InstallForTest(Profile profile, const std::filesystem::path& memoryFile = {});

// The apparatus the simulator ports reach now (null before any install).
std::shared_ptr<Apparatus> CurrentApparatus();

// A new line to the current apparatus, as a port mapped to "simulator" opens it (configured,
// space parity). Null before any install.
std::unique_ptr<platform::SerialPort> OpenSimulatorPort();

}  // namespace sim
