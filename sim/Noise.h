#pragma once
// The simulator's noise source: a small generator of its own, so that a seed gives the same
// readings on every machine and in every run (a test or a lesson that meets a value meets it
// again).

#include <cmath>
#include <cstdint>

namespace sim {

class Noise {
 public:
  explicit Noise(std::uint64_t seed = 1) { Reseed(seed); }
  void Reseed(std::uint64_t seed) { state_ = seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull; }

  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  // Uniform in [-amplitude, amplitude].
  double Within(double amplitude) { return amplitude * (2.0 * Uniform() - 1.0); }
  // A whole number of reading counts, normally distributed with this standard deviation.
  int Counts(double sigma) {
    if (sigma <= 0) return 0;
    double u1 = 1.0 - Uniform();  // (0, 1]
    double u2 = Uniform();
    double z = std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    return static_cast<int>(std::lround(z * sigma));
  }

 private:
  // splitmix64
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t state_ = 0;
};

}  // namespace sim
