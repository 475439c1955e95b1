#include "cli/cli_accelcal.h"

#include "cli/cli_session.h"
#include "session/platform_set.h"
#include "sim/accel_errors.h"
#include "sim/sim_sensor.h"

namespace vexa::cli {

void AddAccelSimulation(const CliOptions& options, PlatformOptions& platform) {
  if (!options.simulatePoses && options.simulateAccelErrors.empty()) return;
  sim::AccelErrors errors;
  const bool withErrors = !options.simulateAccelErrors.empty();
  if (withErrors) {
    std::string error;
    if (!sim::ReadAccelErrorsFile(options.simulateAccelErrors, errors, error))
      throw Failure(kExitUsage, error);
  }
  const bool poses = options.simulatePoses;
  auto before = platform.configureSensor;
  platform.configureSensor = [before, errors, withErrors, poses](sim::SimSensorConfig& c) {
    if (before) before(c);
    if (withErrors) {
      c.accelBiasG = errors.biasG;
      c.accelScale = errors.scale;
      c.accelMisalignmentDeg = errors.misalignmentDeg;
    }
    if (poses) {
      c.turnedThroughPoses = true;
      c.temperatureDriftScale = 0.0;
    }
  };
}

}  // namespace vexa::cli
