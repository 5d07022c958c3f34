#pragma once
// Finding the port on which the apparatus answers.

#include <string>

namespace kvt {

// Tries COM1 .. COM4 in order (only the names the system offers, platform::ListSerialPorts) and
// returns the first whose main controller answers its address byte with exactly one byte, or ""
// when none does. Every probed port is closed again: the caller opens the found one as its
// connection object. Takes the device lock for the whole search.
std::string ProbeMainControllerPort();

}  // namespace kvt
