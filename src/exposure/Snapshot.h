#pragma once
// The exposure objects' common ground and TSnapshot: an exposure by kV, mA and time (or by
// filament code and time) with preparation, release and confirmation as separate steps, and the
// generator's measurement of the last exposure. Created without a port name; the caller holds the
// device lock around construction and every operation.

#include <cstdint>
#include <functional>
#include <string>

#include "link/SystemLink.h"

namespace kvt {

// How long the waits for a status may take before they give up (a silent or stuck apparatus must
// not hold the device lock for ever).
struct ShotTimeLimits {
  int readyMs = 20000;    // for the idle status 8 before a filament shot
  int prepareMs = 20000;  // preparation: filament heating and anode run-up
  // Exposure: this much on top of the exposure's own time (time in 0.01 s × 10 ms).
  int exposeMs = 10000;
  int pollPauseMs = 10;  // sleep between two status polls
};

// Why the last operation did not go through.
enum class ShotFailure {
  None,
  InvalidParameters,     // outside what the frame can carry: nothing was sent
  Refused,               // the parameter set was not accepted
  NotPrepared,           // release asked for while the status was not 24
  Alarm,                 // an alarm status ended the wait
  UnexpectedState,       // another status outside the awaited range ended the wait
  TimedOut,              // the awaited status did not come within its time limit
  NoAnswer,              // the apparatus did not answer at all
  NoVoltageCoefficient,  // KUAN is 0: the voltage reading cannot be scaled
};

// A short Russian text for the engineer.
std::string ShotFailureText(ShotFailure failure);

// Hundredths (of a second) as the shortest decimal number: 6 -> "0.06", 150 -> "1.5", 100 -> "1".
std::string HundredthsText(int hundredths);

// The generator's readings of the last exposure, before scaling.
struct ShotMeasurement {
  std::uint8_t kuan = 0;  // anode voltage channel coefficient byte (0x13), hundredths
  int u = 0;              // voltage reading, byte 3 − byte 2 of the 02 61 01 reply
  int i = 0;              // current reading, byte 5 − byte 4
};
// Reads KUAN and the measurement pair; false when either got no complete reply.
bool ReadShotMeasurement(TSystemLink& link, ShotMeasurement& out);
// Anode voltage in kV: u / (KUAN × 0.01), rounded. Call only with a non-zero KUAN.
int ScaledVoltage(const ShotMeasurement& m);
// Anode current in mA: the reading times its correction, rounded.
int CorrectedCurrent(int reading);

// Reads the supply measurement byte (02 20 37, reply byte 2); -1 when it got no answer.
int ReadSupplyByte(TSystemLink& link);

// Polls the status, sleeping between polls, while keepWaiting(status) holds and the limit has not
// passed. Polls that get no answer are not judged and the wait goes on.
struct StatusWait {
  bool answered = false;    // some poll was answered
  bool timedOut = false;    // the limit passed while the status was still awaited
  std::uint8_t status = 0;  // the last status answered
};
StatusWait WaitWhileStatus(TSystemLink& link, const std::function<bool(std::uint8_t)>& keepWaiting,
                           int limitMs, int pauseMs);

class TSnapshot : public TSystemLink {
 public:
  // Reads the supply value and the results of the last exposure.
  explicit TSnapshot(bool wait, const ShotTimeLimits& limits = {});

  // 05 03 kv ma tH tL. True when the reply is exactly 6 bytes. When refused and report is set,
  // the engineer is told in a message box. Values that one byte (kV, mA) or 16 bits (time) cannot
  // carry are refused the same way without sending anything.
  bool AcceptSnapshotParameters(int kv, int ma, int time, bool report);
  // Parameters (reported when refused), 01 49, and with Wait the wait for status 24.
  bool PrepareShot(int kv, int ma, int time);
  // 05 52 code time, and with Wait the wait for status 24.
  bool PrepareHeatShot(int code, int time);
  void CancelPrepare();  // 01 4A
  void StopShot();       // 01 53
  // Needs status 24. 01 4B; with Wait the wait for 73, 01 4C and the results.
  bool Expose();
  // Fills Uv, Ia and Re. False (and the fields unchanged, but for KUAN 0: Uv and Re then 0) when
  // the readings could not be taken or scaled.
  bool ReadShotResults();
  // PrepareShot and Expose, always waiting.
  bool MakeShot(int kv, int ma, int time);

  bool Wait;
  std::uint16_t HeatCode = 0;
  std::uint16_t Kv = 0;    // of the last parameter set sent, accepted or not
  std::uint16_t Time = 0;  // 0.01 s
  std::uint16_t Ud = 0;    // supply byte × 1.464
  int Uv = 0;              // kV
  int Ia = 0;              // mA
  double Re = 0;

  ShotTimeLimits Limits;
  ShotFailure LastFailure = ShotFailure::None;

 private:
  bool WaitPrepared();
};

}  // namespace kvt
