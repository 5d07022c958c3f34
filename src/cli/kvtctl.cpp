// kvtctl: the command-line companion of the service program. Same core, no windows: engineers
// script backups and checks with it, against the apparatus or the simulator.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli/Command.h"
#include "cli/Json.h"
#include "platform/Console.h"
#include "platform/Paths.h"
#include "platform/SerialTrace.h"
#include "sim/Install.h"

namespace cli {
namespace {
struct Entry {
  std::string usage;
  CommandFn fn;
  bool takesJson = false;
};
std::map<std::string, Entry>& Table() {
  static std::map<std::string, Entry> table;
  return table;
}
}  // namespace

Registrar::Registrar(const char* name, const char* usage, CommandFn fn, bool takesJson) {
  Table()[name] = Entry{usage, fn, takesJson};
}

int Fail(const std::string& message) {
  std::cerr << "kvtctl: " << message << "\n";
  NoteProblem(message);
  return kExitNotStarted;
}

int Failed(const std::string& message) {
  Fail(message);
  return kExitFailed;
}

bool SettingsPresent() {
  if (std::error_code ec; std::filesystem::is_regular_file(platform::SettingsPath(), ec))
    return true;
  Fail(platform::SettingsPath().string() + " not found; --dir must name the program directory");
  return false;
}

}  // namespace cli

static int Usage() {
  std::cerr << "usage: kvtctl [--dir DIR] [--trace FILE] COMMAND [ARGS...] [--json]\n"
               "DIR holds vesmar.ini and simulator.ini (default: the current directory).\n"
               "FILE receives every byte on the serial line (appended, one exchange a line).\n"
               "--json: one JSON document on standard output (commands marked *).\n"
               "commands:\n";
  // Each usage reads "synopsis   description"; the descriptions are lined up in one column.
  std::vector<std::pair<std::string, std::string>> lines;
  std::size_t width = 0;
  for (const auto& [name, entry] : cli::Table()) {
    const std::string& u = entry.usage;
    const std::size_t gap = u.find("  ");
    std::string synopsis = u.substr(0, gap);
    if (entry.takesJson) synopsis += " *";
    std::string description;
    if (gap != std::string::npos) {
      const std::size_t text = u.find_first_not_of(' ', gap);
      if (text != std::string::npos) description = u.substr(text);
    }
    width = std::max(width, synopsis.size());
    lines.emplace_back(std::move(synopsis), std::move(description));
  }
  for (const auto& [synopsis, description] : lines) {
    std::cerr << "  " << synopsis;
    if (!description.empty())
      std::cerr << std::string(width - synopsis.size() + 3, ' ') << description;
    std::cerr << "\n";
  }
  return 2;
}

int main(int argc, char** argv) {
  platform::UseUtf8Console();
  cli::Context context;
  context.dir = std::filesystem::current_path();
  std::filesystem::path trace;
  int i = 1;
  while (i + 1 < argc) {
    if (std::strcmp(argv[i], "--dir") == 0)
      context.dir = argv[i + 1];
    else if (std::strcmp(argv[i], "--trace") == 0)
      trace = argv[i + 1];
    else
      break;
    i += 2;
  }
  if (i >= argc) return Usage();
  const std::string command = argv[i++];
  bool json = false;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0)
      json = true;
    else
      context.args.emplace_back(argv[i]);
  }
  auto it = cli::Table().find(command);
  if (it == cli::Table().end()) {
    std::cerr << "kvtctl: unknown command \"" << command << "\"\n";
    return Usage();
  }
  if (json && !it->second.takesJson) return cli::Fail(command + " has no --json output");
  cli::SetJsonOutput(json, command);
  std::error_code ec;
  context.dir = std::filesystem::absolute(context.dir, ec);
  platform::SetProgramDir(context.dir);
  // Named from where kvtctl was started, as any file argument is.
  if (!trace.empty()) platform::SetSerialTraceOverride(std::filesystem::absolute(trace, ec));
  sim::InstallSimulator(context.dir);
  const int status = it->second.fn(context);
  if (json && !cli::JsonEmitted()) {
    // The command stopped before its own document: the document says why.
    return cli::EmitJson(cli::JsonDocument(), status);
  }
  return status;
}
