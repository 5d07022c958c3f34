#pragma once
// kvtctl's command table: each command lives in the file of its subsystem and registers itself.

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

struct Context {
  std::filesystem::path dir;      // holds vesmar.ini and simulator.ini
  std::vector<std::string> args;  // the command's own arguments
};

using CommandFn = int (*)(Context& context);

struct Registrar {
  // takesJson: the command writes one JSON document under --json (cli/Json.h).
  Registrar(const char* name, const char* usage, CommandFn fn, bool takesJson = false);
};

// Exit codes of every command: 0 done (identify: the system is ready); 1 the apparatus answered
// but the command failed or found faults, or its result could not be saved; 2 the command could
// not start (arguments, vesmar.ini, an input refused before anything was sent, no apparatus).
inline constexpr int kExitFailed = 1;
inline constexpr int kExitNotStarted = 2;

// Prints "kvtctl: " + message to standard error (and keeps it for the --json document); returns 2
// (could not start).
int Fail(const std::string& message);
// The same for a command that reached the apparatus; returns 1.
int Failed(const std::string& message);

// True when the program directory holds vesmar.ini. Without it there is no port map, so every
// port of the machine would be probed, the console included: commands that reach the apparatus
// refuse to start (the message is printed here).
bool SettingsPresent();

}  // namespace cli
