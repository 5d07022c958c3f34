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
#include <string>

#include "calibration/CalProcedure.h"

namespace kvt {

class TSnapshot;

namespace calmsg {
extern const char* const kInitialCodeUpper;
}  // namespace calmsg

class TCalProcedureK3 : public TCalWorker {
 public:
  // maxCode: the largest filament code the apparatus's type takes (1023 on K3, 2047 on K4).
  TCalProcedureK3(CalState& state, TCalLock& lock, TCalHost& host,
                  platform::ThreadPriority priority = platform::ThreadPriority::Idle,
                  int maxCode = kMaxFilamentCodeK3);
  ~TCalProcedureK3() override;

  // Shots in a row, each by a larger code than the one before, whose reading did not grow: the
  // reading is taken as saturated at the last of them.
  static constexpr int kFlatShots = 3;

 protected:
  void Execute() override;
  bool K3() const override { return true; }
  int MaxCode() const override { return maxCode_; }
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
  // Whether the reading of a logged shot can no longer show the current grow: the dialog's
  // largest current, or kFlatShots shots in a row whose code grew and whose reading did not.
  void NoteReading(const ReadShot& shot);
  // The reason the last reading is saturated, for the engineer (empty when it is not).
  std::string SaturationText() const;
  // The upward sweep ends on a saturated reading: the characteristic ends before the shots that
  // could not be read, and the engineer is told.
  void EndOnSaturation(int count);
  // The characteristic being recorded is complete up to shot last: the next one starts, or the
  // tables are computed.
  void EndCharacteristic(int last);
  // Message with the note of a characteristic ended early, which must not be lost under the next
  // stage's message.
  void MessageWithNote(const std::string& text);

  std::unique_ptr<TSnapshot> snapshot_;
  int i1_ = 0;  // first and last header currents
  int i8_ = 0;
  int maxCode_;
  // The last logged shot, and how many shots in a row have raised the code without the reading
  // growing.
  std::optional<ReadShot> previous_;
  int flatShots_ = 0;
  bool saturated_ = false;
  std::string note_;
};

}  // namespace kvt
