#pragma once
// Finding the port on which the apparatus answers.

#include <string>
#include <vector>

namespace kvt {

// Which of COM1 .. COM4 are tried: only the names the system offers (platform::ListSerialPorts),
// or, as the connection window does, all four once the system offers any serial port at all.
enum class ProbeScope { OfferedOnly, AnyComWhenOffered };

// Tries COM1 .. COM4 in order (those of the scope) and returns the first whose main controller
// answers its address byte with exactly one byte, or "" when none does. Every probed port is closed
// again: the caller opens the found one as its connection object. Takes the device lock for the
// whole search.
// `tried`, when given, receives each port tried, in order ("COM2", or "COM3 (не открыт)" when the
// port could not be opened).
std::string ProbeMainControllerPort(ProbeScope scope = ProbeScope::OfferedOnly,
                                    std::vector<std::string>* tried = nullptr);

}  // namespace kvt
