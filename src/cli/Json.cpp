#include "cli/Json.h"

#include <iostream>

namespace cli {

namespace {
struct JsonState {
  bool on = false;
  bool emitted = false;
  std::string command;
  std::string problems;
};
JsonState& State() {
  static JsonState state;
  return state;
}
}  // namespace

bool JsonOutput() {
  return State().on;
}

void SetJsonOutput(bool on, const std::string& command) {
  State() = JsonState{on, false, command, {}};
}

Json JsonDocument() {
  Json doc;
  doc["command"] = State().command;
  return doc;
}

void NoteProblem(const std::string& message) {
  std::string& p = State().problems;
  if (!p.empty()) p += '\n';
  p += message;
}

int EmitJson(Json document, int exitCode) {
  if (State().emitted) return exitCode;
  State().emitted = true;
  document["ok"] = exitCode == 0;
  document["exit"] = exitCode;
  if (exitCode != 0 && !document.contains("error")) document["error"] = State().problems;
  // Texts from the apparatus may hold bytes that are not UTF-8: replaced, never a throw.
  std::cout << document.dump(2, ' ', false, Json::error_handler_t::replace) << std::endl;
  return exitCode;
}

bool JsonEmitted() {
  return State().emitted;
}

}  // namespace cli
