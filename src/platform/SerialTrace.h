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
// at all. Each line is flushed as the exchange ends; at the size limit FILE becomes FILE.1, the
// older ones move up to FILE.2 .. FILE.N (N = Keep= of [Trace], default 5; the oldest beyond it
// is dropped) and a new FILE is begun. When a rename fails nothing is dropped: FILE goes on
// growing and the rotation is tried again one limit later. When the file cannot be written or
// reopened the trace stops, and the handler below is told once.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/SerialPort.h"

namespace platform {

inline constexpr std::uintmax_t kTraceRotateBytes = 4u * 1024 * 1024;
inline constexpr const char* kTraceSection = "Trace";
inline constexpr const char* kTraceKey = "Trace";
inline constexpr const char* kTraceKeepKey = "Keep";
inline constexpr int kTraceKeepDefault = 5;
inline constexpr int kTraceKeepMax = 99;

// A trace file for this run that takes the place of the settings' one (kvtctl --trace); an empty
// path gives the choice back to the settings.
void SetSerialTraceOverride(const std::filesystem::path& file);
// The trace file in effect now: the override, else the settings' Trace=; empty when off.
std::filesystem::path SerialTraceFile();

// How many older trace files are kept: Keep= of [Trace], 1 .. 99, default 5.
int SerialTraceKeep();

// Told (from the thread that traced) that the trace stopped: the file could not be opened,
// written or reopened after a rotation. `why` names the file. Empty: standard error only.
using TraceStoppedHandler = std::function<void(const std::string& why)>;
void SetSerialTraceStoppedHandler(TraceStoppedHandler handler);

// Wraps the port so that its traffic is traced in `file`. When the file cannot be opened the
// port is returned as it was (standard error and the handler say why): a trace never stops the
// line.
std::unique_ptr<SerialPort> TraceSerialPort(std::unique_ptr<SerialPort> port,
                                            const std::filesystem::path& file,
                                            const std::string& portLabel,
                                            std::uintmax_t rotateBytes = kTraceRotateBytes,
                                            int keep = kTraceKeepDefault);

}  // namespace platform
