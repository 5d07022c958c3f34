#pragma once
// The serial trace: every byte on the line, written to a text file one exchange per line, so
// support can see exactly what was sent and what the apparatus answered:
//
//   2026-12-08 11:40:01.123 TX 9=1: 00 | RX +5ms: 00
//   2026-12-08 11:40:01.221 TX 9=0: 01 2E | RX +9ms: 03 E0 4B 32
//
// The time stamp is the start of the exchange (local time, milliseconds); "9=1" is the ninth bit
// the bytes were sent with (mark parity: an address byte); "+5ms" is when the first reply byte
// came; "RX: -" is a request that got no reply. The receiving side does not see the ninth bit of
// the apparatus's bytes (the port does not check parity on receive), so replies carry none.
// OPEN and CLOSE lines mark the port being opened and closed.
//
// The trace is switched on by Trace=FILE in section [Trace] of vesmar.ini (a relative FILE lies
// in the program directory) or for one kvtctl run by --trace FILE. Off, the port is not wrapped
// at all. Each line is flushed as the exchange ends; at the size limit FILE becomes FILE.1 (an
// older FILE.1 is dropped) and a new FILE is begun.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/SerialPort.h"

namespace platform {

inline constexpr std::uintmax_t kTraceRotateBytes = 4u * 1024 * 1024;
inline constexpr const char* kTraceSection = "Trace";
inline constexpr const char* kTraceKey = "Trace";

// A trace file for this run that takes the place of the settings' one (kvtctl --trace); an empty
// path gives the choice back to the settings.
void SetSerialTraceOverride(const std::filesystem::path& file);
// The trace file in effect now: the override, else the settings' Trace=; empty when off.
std::filesystem::path SerialTraceFile();

// Wraps the port so that its traffic is traced in `file`. When the file cannot be opened the
// port is returned as it was (and standard error says why): a trace never stops the line.
std::unique_ptr<SerialPort> TraceSerialPort(std::unique_ptr<SerialPort> port,
                                            const std::filesystem::path& file,
                                            const std::string& portLabel,
                                            std::uintmax_t rotateBytes = kTraceRotateBytes);

}  // namespace platform
