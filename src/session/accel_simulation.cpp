#include "session/accel_simulation.h"

#include "sim/sim_sensor.h"

namespace vexa {

void AddAccelSimulation(const SessionOptions& options, PlatformOptions& platform) {
  if (!options.simulatePoses && !options.simulatedAccelErrors) return;
  const std::optional<sim::AccelErrors> errors = options.simulatedAccelErrors;
  const bool poses = options.simulatePoses;
  auto before = platform.configureSensor;
  platform.configureSensor = [before, errors, poses](sim::SimSensorConfig& c) {
    if (before) before(c);
    if (errors) {
      c.accelBiasG = errors->biasG;
      c.accelScale = errors->scale;
      c.accelMisalignmentDeg = errors->misalignmentDeg;
    }
    if (poses) {
      // A module turned by hand between still poses: no slow drift to mistake for a tilt.
      c.turnedThroughPoses = true;
      c.temperatureDriftScale = 0.0;
    }
  };
}

}  // namespace vexa
