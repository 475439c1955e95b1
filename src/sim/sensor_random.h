#pragma once

#include <cmath>
#include <cstdint>

namespace vexa::sim {

// A small, portable pseudo-random source for the simulated sensor: the same seed gives the same
// sequence on every compiler and library, unlike the standard distributions.
class SensorRandom {
 public:
  explicit SensorRandom(uint64_t seed) : state_(seed) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

  // Standard normal, by the Box-Muller transform (one pair per two calls).
  double gaussian() {
    if (hasSpare_) {
      hasSpare_ = false;
      return spare_;
    }
    constexpr double kTwoPi = 6.283185307179586;
    double u1 = uniform();
    double u2 = uniform();
    if (u1 < 1e-300) u1 = 1e-300;
    const double r = std::sqrt(-2.0 * std::log(u1));
    spare_ = r * std::sin(kTwoPi * u2);
    hasSpare_ = true;
    return r * std::cos(kTwoPi * u2);
  }

 private:
  uint64_t state_;
  double spare_ = 0.0;
  bool hasSpare_ = false;
};

}  // namespace vexa::sim
