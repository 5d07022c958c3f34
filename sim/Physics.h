#pragma once
// The nominal generator and X-ray tube: what the factory image of the simulator was made for
// (sim/Plant.h holds how the simulated apparatus truly differs from it). The program's calibration
// relies on the same picture: the no-load anode voltage follows the mains (supply byte s, in kV),
// and under load it drops by Ia * Re / 256, with Re the generator's equivalent resistance figure.
// The tube's emission rises steeply with the filament code and slightly with the anode voltage, so
// a higher filament code gives a higher current and, for a shot by filament code, a lower voltage.

#include <cstdint>
#include <vector>

namespace sim::physics {

// Scale of the supply byte (byte * 1.464 = volts).
inline constexpr double kSupplyVoltsPerUnit = 1.464;
// Sample period of the shot recorder: 80 voltage/current pairs in 0.05 s, so that a whole
// shot of the calibration fits the 0..8 time axis of the curve charts (0.1 per pair).
inline constexpr double kRecorderPairMs = 0.625;
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
