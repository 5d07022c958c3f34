// kvtctl commands of the link: raw frames, one memory bank, one state poll.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/VDemon.h"
#include "cli/ApparatusImage.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "link/PortProbe.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"

namespace {

// One hexadecimal byte as the terminal takes it: digits 0-9, A-F (either case), value 00..FF.
std::optional<std::uint8_t> ParseHexByte(const std::string& token) {
  if (token.empty()) return std::nullopt;
  unsigned value = 0;
  for (char c : token) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return std::nullopt;
    value = value * 16 + unsigned(digit);
    if (value > 0xFF) return std::nullopt;
  }
  return std::uint8_t(value);
}

std::optional<int> ParseDecimal(const std::string& text, int lo, int hi) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < lo || value > hi) return std::nullopt;
  return value;
}

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  std::string line;
  char cell[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(cell, sizeof cell, "%02X ", bytes[i]);
    line += cell;
  }
  return line;
}

int Send(cli::Context& context) {
  if (context.args.empty())
    return cli::Fail("send: give the frame as hexadecimal bytes, e.g. send 01 2E");
  std::vector<std::uint8_t> frame;
  for (const std::string& token : context.args) {
    const auto byte = ParseHexByte(token);
    if (!byte)
      return cli::Fail("send: \"" + token + "\" is not a hexadecimal byte 00..FF; nothing sent");
    frame.push_back(*byte);
  }
  auto connection = cli::ConnectApparatus();
  if (!connection) return cli::kExitNotStarted;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink link;
  // The typed bytes are the whole frame, header included, sent as they are.
  link.WriteBytes(frame);
  if (!link.LastOk()) {
    return cli::Failed("send: the frame could not be written");
  }
  link.Read(100);
  if (link.LastCount() == 0) return cli::Failed("send: no reply");
  std::cout << Hex(link.RxBuffer().data(), link.LastCount()) << "\n";
  return 0;
}

int ReadBank(cli::Context& context) {
  if (context.args.size() != 2) return cli::Fail("read-bank: give PAGE (0..15) and BANK (0..255)");
  const auto page = ParseDecimal(context.args[0], 0, 15);
  if (!page)
    return cli::Fail("read-bank: PAGE must be a number 0..15, not \"" + context.args[0] + "\"");
  const auto bank = ParseDecimal(context.args[1], 0, 255);
  if (!bank)
    return cli::Fail("read-bank: BANK must be a number 0..255, not \"" + context.args[1] + "\"");
  auto connection = cli::ConnectApparatus();
  if (!connection) return cli::kExitNotStarted;
  std::uint8_t data[256] = {};
  bool ok;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSystemLink link;
    link.ReadMemory(std::uint32_t(*page) << 16 | std::uint32_t(*bank) << 8, sizeof data, data);
    ok = link.LastTransferOk();
  }
  if (!ok) {
    return cli::Failed("read-bank: the apparatus did not answer every read of page " +
                       std::to_string(*page) + " bank " + std::to_string(*bank));
  }
  for (std::size_t row = 0; row < 16; ++row) {
    std::string line = Hex(data + row * 16, 16);
    line.pop_back();
    std::cout << line << "\n";
  }
  return 0;
}

int State(cli::Context& context) {
  if (!context.args.empty()) return cli::Fail("state takes no arguments");
  auto connection = cli::ConnectApparatus();
  if (!connection) return cli::kExitNotStarted;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink link;
  link.SelectModule(kvt::kMainControllerAddress);
  const std::uint8_t state = link.PollState();
  if (link.LastCount() == 0) {
    return cli::Failed("state: the main controller does not answer the state poll");
  }
  if (!cli::JsonOutput()) {
    std::cout << int(state) << "\n";
    return 0;
  }
  cli::Json doc = cli::JsonDocument();
  doc["code"] = int(state);
  // The monitor's text of the state; null for a code it has no text for (alarms included).
  const auto action = kvt::ActionForState(state);
  doc["text"] = action && !action->text.empty() ? cli::Json(action->text) : cli::Json();
  doc["alarm"] = state >= 128;
  return cli::EmitJson(std::move(doc), 0);
}

const cli::Registrar sendCommand(
    "send", "send HEX...           send one frame (bytes as typed), print the reply", Send);
const cli::Registrar readBankCommand("read-bank",
                                     "read-bank PAGE BANK   print one 256-byte memory bank",
                                     ReadBank);
const cli::Registrar stateCommand("state",
                                  "state                 poll the main controller's state code",
                                  State, true);

}  // namespace
