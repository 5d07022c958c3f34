#pragma once
// The generator and X-ray tube as the simulator models them. The program's calibration relies on
// the same picture: the no-load anode voltage follows the mains (supply byte s, in kV), and under
// load it drops by Ia * Re / 256, with Re the generator's equivalent resistance figure. The tube's
// emission rises steeply with the filament code and slightly with the anode voltage, so a higher
// filament code gives a higher current and, for a shot by filament code, a lower voltage.

#include <cstdint>
#include <vector>

namespace sim::physics {

// Mains voltage of a healthy supply and the scale of the supply byte (byte * 1.464 = volts).
inline constexpr double kMainsVolts = 220.0;
inline constexpr double kSupplyVoltsPerUnit = 1.464;
// Gain of the anode voltage measuring channel (raw reading per kV). The default KUAN of 100
// matches it; a KUAN that does not makes the program's readings wrong by the same ratio.
inline constexpr double kAnodeChannelGain = 1.00;
// Sample period of the shot recorder: one voltage/current pair every half millisecond.
inline constexpr double kRecorderPairMs = 0.5;
// The recorder keeps at most this many pairs (the rest of a long shot is not recorded).
inline constexpr int kRecorderMaxPairs = 6000;

// Filament code scale: the K4 heating module has twice the resolution.
double EffectiveCode(int code, bool k4);
// Anode current in mA of the tube at a filament code and an anode voltage in kV.
double TubeCurrent(int code, double kv, bool k4);
// The filament code that gives ma at kv (inverse of TubeCurrent, not rounded).
double CodeForCurrent(double kv, double ma, bool k4);
// The generator's true equivalent resistance figure at kv.
double GeneratorResistance(double kv);
// No-load anode voltage in kV for a mains voltage.
double NoLoadKv(double mainsVolts);
// The anode voltage of an unregulated shot by filament code, where Uv = s - I(code, Uv) * Re / 256.
double HeatShotKv(int code, double mainsVolts, bool k4);

// The program's anode-current correction (measured reading x -> factor).
double CurrentCorrection(int x);
// The raw current reading (0..255) whose corrected value comes closest to ma.
int RawCurrentReading(double ma);

// Interpolates a filament code in a calibration table stored the controller's way: rows of eight
// 16-bit words, row 0 the header currents, row r >= 1 the codes at start + step * (r - 1).
// Points outside the table are clamped onto its edge.
double TableCodeClamped(const std::vector<int>& words, int start, int end, int step, double kv,
                        double ma);

// One shot's curves as the recorder stores them: interleaved voltage and current bytes centred
// on 128, each half-wave of the mains with the opposite sign of the one before.
struct ShotCurves {
  std::vector<std::uint8_t> bytes;  // pairs: voltage, current, voltage, current, ...
};
// kvRaw: peak voltage reading (raw channel units, i.e. kV * gain); curByte: peak current sample
// (mA / 3.125, or / 3.9 for K4); durationMs: exposure time.
ShotCurves MakeShotCurves(double kvRaw, double curSample, double durationMs);

}  // namespace sim::physics
