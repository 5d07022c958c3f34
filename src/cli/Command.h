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
  Registrar(const char* name, const char* usage, CommandFn fn);
};

// Prints "kvtctl: " + message to standard error; returns 2 for use as an exit code.
int Fail(const std::string& message);

// True when the program directory holds vesmar.ini. Without it there is no port map, so every
// port of the machine would be probed, the console included: commands that reach the apparatus
// refuse to start (the message is printed here).
bool SettingsPresent();

}  // namespace cli
