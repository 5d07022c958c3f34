#pragma once
// The calibration worker of types K3 and K4. These systems set the anode voltage and current of
// an exposure from the parameters the program sends, and the anode current of a shot is read off
// its curve by the engineer in the determination dialog. The worker records two
// characteristics, the filament code over the anode current at the lower bound of the range and
// at the upper bound, each at one parameter set: a search for a code whose current lies within
// the table's header currents, a sweep down to the first header current and up to the last. The
// new calibration table is built from both; there is no resistance table.

#include <memory>
#include <optional>

#include "calibration/CalProcedure.h"

namespace kvt {

class TSnapshot;

namespace calmsg {
extern const char* const kInitialCodeUpper;
}  // namespace calmsg

class TCalProcedureK3 : public TCalWorker {
 public:
  TCalProcedureK3(CalState& state, TCalLock& lock, TCalHost& host,
                  platform::ThreadPriority priority = platform::ThreadPriority::Idle);
  ~TCalProcedureK3() override;

 protected:
  void Execute() override;
  bool K3() const override { return true; }
  // 1: the start of a characteristic; 2: the search for the band of currents.
  void InitialCode() override;
  void SearchRange() override;
  void Series() override;
  void ComputeTables() override;

 private:
  // A shot the engineer has read: its code and the current he determined.
  struct ReadShot {
    int code = 0;
    int current = 0;
  };

  // One exposure with the code, its curves, the engineer's reading of its current and the
  // voltage the controller measured, logged. Nothing (and nothing logged) when the shot failed
  // or the engineer gave no reading. The caller holds the device lock.
  std::optional<ReadShot> MakeCalibrationShotK3(int code);
  // The current read off the curve; asked again when it lies outside the header currents and
  // the engineer does not confirm it. Nothing when the dialog was closed by its frame.
  std::optional<int> DetermineCurrent(const std::vector<int>& signedSamples);
  // The engineer gave no reading: told, automatic mode off.
  void NoReading();

  std::unique_ptr<TSnapshot> snapshot_;
  int i1_ = 0;  // first and last header currents
  int i8_ = 0;
};

}  // namespace kvt
