// kvtctl: the command-line companion of the service program. Same core, no windows: engineers
// script backups and checks with it, against the apparatus or the simulator.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>

#include "cli/Command.h"
#include "platform/Paths.h"
#include "sim/Install.h"

namespace cli {
namespace {
struct Entry {
  std::string usage;
  CommandFn fn;
};
std::map<std::string, Entry>& Table() {
  static std::map<std::string, Entry> table;
  return table;
}
}  // namespace

Registrar::Registrar(const char* name, const char* usage, CommandFn fn) {
  Table()[name] = Entry{usage, fn};
}

int Fail(const std::string& message) {
  std::cerr << "kvtctl: " << message << "\n";
  return 2;
}

}  // namespace cli

static int Usage() {
  std::cerr << "usage: kvtctl [--dir DIR] COMMAND [ARGS...]\n"
               "DIR holds vesmar.ini and simulator.ini (default: the current directory).\n"
               "commands:\n";
  for (const auto& [name, entry] : cli::Table()) std::cerr << "  " << entry.usage << "\n";
  return 2;
}

int main(int argc, char** argv) {
  cli::Context context;
  context.dir = std::filesystem::current_path();
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "--dir") == 0) {
    context.dir = argv[i + 1];
    i += 2;
  }
  if (i >= argc) return Usage();
  const std::string command = argv[i++];
  for (; i < argc; ++i) context.args.emplace_back(argv[i]);
  auto it = cli::Table().find(command);
  if (it == cli::Table().end()) return Usage();
  std::error_code ec;
  context.dir = std::filesystem::absolute(context.dir, ec);
  platform::SetProgramDir(context.dir);
  sim::InstallSimulator(context.dir);
  return it->second.fn(context);
}
