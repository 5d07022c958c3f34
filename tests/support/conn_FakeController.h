#pragma once
// A scripted main controller behind the serial seam for the connection and monitor tests: every
// port opened through the simulator mapping reaches it. Unlike a fixed reply list it answers by
// command, so a monitor thread can poll it for as long as a test runs, and a test can change the
// state, the alarm code or make the line fall silent at any moment (all under its own mutex).
// Replies come at once; silence is reported at once.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/SerialPort.h"

namespace conntest {

using Bytes = std::vector<std::uint8_t>;

struct ControllerScript {
  std::string type = "K2";
  int version = 23;
  std::map<int, int> moduleCodes{{0, 10}, {1, 21}, {2, 32}, {3, 43}, {4, 54}};  // others: 255
  std::map<int, int> extensionModules;                                          // 252..255
  std::set<int> badBanks;
  std::map<int, std::uint16_t> bankChecksums;  // others: 0
  int state = 0;
  int alarmCode = 0;
  bool answerType = true;     // false: 01 2E gets no reply
  bool answerVersion = true;  // false: 01 2F gets no reply
};

class FakeController {
 public:
  explicit FakeController(ControllerScript script = {}) : script_(std::move(script)) {}

  // How the n-th opening of a port (counted from 1) answers the address byte: the given number of
  // bytes (0 = silent). Openings not listed answer with one byte.
  void SetAddressAnswers(std::vector<int> bytesPerOpening);
  // Makes every port opened through the "simulator" mapping reach this controller.
  static void Install(const std::shared_ptr<FakeController>& controller);

  void SetState(int state);
  void SetAlarmCode(int code);
  // No reply to anything (address bytes included) until Revive, or for ms milliseconds.
  void Kill();
  void SilenceFor(int ms);
  void Revive();

  int Openings() const;
  int OpenPorts() const;
  // Frames written in data parity, in order (address bytes not included).
  std::vector<Bytes> Frames() const;
  int PollCount() const;

  // Used by the port objects.
  Bytes Answer(int opening, const Bytes& written, platform::Parity parity);
  int Opened();
  void Closed();

 private:
  bool SilentLocked() const;

  mutable std::mutex m_;
  ControllerScript script_;
  std::vector<int> addressAnswers_;
  int openings_ = 0;
  int open_ = 0;
  bool dead_ = false;
  std::uint64_t silentUntil_ = 0;
  std::vector<Bytes> frames_;
  int polls_ = 0;
};

}  // namespace conntest
