#pragma once
// The main window's connection sequence ("Установка связи с системой"), the same for the desktop
// program and kvtctl: stop the monitor and close the port, clear the connection part of the
// status, then under the device lock find the port, identify the system, read its modules,
// verify the checksums, show the conclusion and start the monitor again.

#include <string>

namespace kvt {

class MainHost;

// Runs on the interface thread. Returns the port found ("" when no port answered; the state text
// then says so and neither the connection link nor the monitor exists).
std::string RunConnectionSequence(MainHost& host);

}  // namespace kvt
