#pragma once

#include <filesystem>

namespace sim {

// Makes ports mapped to "simulator" reach one process-wide simulated apparatus whose profile is
// programDir/simulator.ini and whose page-0 memory is kept in the profile's MemoryFile there.
// Calling it again with the same folder keeps the running apparatus.
void InstallSimulator(const std::filesystem::path& programDir);

}  // namespace sim
