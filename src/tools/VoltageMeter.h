#pragma once
// TVoltageMeter: the reference voltage meter module at bus address 0x10, a three-channel sampling
// recorder used as the reference instrument for the high voltage and the mains. Constructing the
// object addresses the bus to the module; destroying it hands the bus back to the main controller.
// The caller holds the device lock from before construction until after destruction.

#include <cstdint>
#include <vector>

#include "link/SystemLink.h"

namespace kvt {

class TVoltageMeter : public TSystemLink {
 public:
  // Selects the module and polls it: Present tells whether it answered.
  TVoltageMeter();
  ~TVoltageMeter() override;

  // Each operation returns whether the module's reply had the expected shape. Arguments that one
  // byte cannot carry are refused without sending anything.
  bool Reset();                                                 // 11 40 -> 11 E1
  bool Configure(int channel, int time, int points, int bits);  // 15 03 c t p b -> 6 bytes
  bool StartRecording();                                        // 11 41 -> 11 E0
  bool ArmTrigger(int channel, std::uint8_t level);             // 14 42 c level 00 -> 2 bytes
  bool ReadSettings();                                          // 11 24 -> 6 bytes
  // 14 30 c nh nl -> 11 B0 and n samples. n is at most kMaxSamples (what fits the receive buffer
  // after the two header bytes); on failure Samples stays as it was.
  bool ReadSamples(int channel, int n);

  // The effective value of the recording in volts (ReadSettings first, as the module expects).
  double EffectiveValue();
  // Peak-to-peak over one period after the k-th zero crossing of the recording.
  int Swing(int k) const;

  // The level byte for a signed trigger level (−127..127, clamped): level + 128.
  static std::uint8_t LevelByte(int level);
  // The r.m.s. of a recording in sample units over the 80 ms that follow its first crossing
  // (over what there is when the recording is shorter); 0 for fewer than two samples.
  static double RmsUnits(const std::vector<std::uint8_t>& samples);
  // The module's calibration from an r.m.s. in sample units to volts.
  static double VoltsFromRms(double r);
  // Swing of a recording: |max| + |min| of the samples from the k-th crossing up to the second
  // crossing after it, the last sample before that one excluded; 0 for k <= 0 or no samples.
  static int SwingOf(const std::vector<std::uint8_t>& samples, int k);

  static constexpr int kMaxSamples = int(kRxBufferSize) - 2;

  bool Present = false;
  std::uint8_t Channel = 0;
  std::uint8_t MeasureTime = 0;  // 10 ms units
  std::uint8_t PointsPerMs = 0;
  std::uint8_t DataBits = 0;
  std::vector<std::uint8_t> Samples;  // sample s stands for s − 128

 private:
  bool Exchange(std::initializer_list<std::uint8_t> frame, std::uint32_t chunk);
};

}  // namespace kvt
