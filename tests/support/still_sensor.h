#pragma once

#include "sim/sim_sensor.h"

namespace vexa::testing {

// A module without motion, noise or temperature wander, so readings are exact.
inline sim::SimSensorConfig StillSensor() {
  sim::SimSensorConfig c;
  c.motionScale = 0.0;
  c.noiseScale = 0.0;
  c.temperatureDriftScale = 0.0;
  return c;
}

}  // namespace vexa::testing
