#pragma once
// kvtctl's --json: one JSON document per command on standard output, instead of its text. A
// command that fails before it has a document of its own gets one from main: its name, "ok":
// false, the exit code and the messages it printed on standard error. Key names: README.

#include <nlohmann/json.hpp>
#include <string>

namespace cli {

// Keys stay in the order a command writes them, so the document reads like the text output.
using Json = nlohmann::ordered_json;

// Whether --json was given (set by main before the command runs).
bool JsonOutput();
void SetJsonOutput(bool on, const std::string& command);

// A new document of the running command: {"command": NAME}.
Json JsonDocument();
// Keeps a message printed on standard error for the document's "error".
void NoteProblem(const std::string& message);
// Writes the document with "ok" (exit 0) and "exit" added, and for a failure "error" (the
// messages printed, one a line), once per run; returns exitCode.
int EmitJson(Json document, int exitCode);
bool JsonEmitted();

}  // namespace cli
