#pragma once

#include <array>
#include <cstdint>

namespace vexa::sim {

using Vec3 = std::array<double, 3>;

// What the sensor's elements feel at one instant, before bias, noise and quantisation.
struct BenchState {
  Vec3 rateDegPerSec{};  // body angular rate about x, y, z
  Vec3 accelG{};         // specific force; +1 g on the up axis at rest
  Vec3 fieldMilliGauss{};
  double temperatureC = 25.0;
};

struct BenchMotionConfig {
  uint64_t seed = 1;
  // Scales the slow rocking of the bench; 0 holds the module still at its base attitude.
  double motionScale = 1.0;
  // Base attitude (roll, pitch, heading) in degrees.
  Vec3 baseAttitudeDeg{2.0, -3.0, 40.0};
  // Earth field in the level frame (north, east, up), milligauss.
  Vec3 earthFieldMilliGauss{210.0, 0.0, -420.0};
  double ambientC = 24.0;
  // Scales the slow temperature wander; 0 holds the temperature at the ambient value.
  double temperatureDriftScale = 1.0;
};

// A module lying on a bench that rocks slowly and smoothly: two sine components per attitude
// angle, with phases drawn from the seed. Gravity and the earth field turn with the attitude,
// and the body rates are the exact derivative of that attitude.
class BenchMotion {
 public:
  explicit BenchMotion(const BenchMotionConfig& config);

  BenchState at(double seconds) const;

 private:
  struct Wave {
    double amplitudeDeg;
    double hertz;
    double phase;
  };
  BenchMotionConfig config_;
  std::array<std::array<Wave, 2>, 3> waves_{};  // roll, pitch, heading
  double temperaturePhase_ = 0.0;
};

}  // namespace vexa::sim
