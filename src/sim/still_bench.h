#pragma once

#include "sim/sim_sensor.h"

namespace vexa::sim {

// The module lying still on a quiet bench at a steady temperature, its gyros and accelerometers
// noisy only as their stated noise figures say: the set-up for a noise (Allan deviation) record.
// It samples on the slow base (52.8 Hz), slower than any log reads it, so that a log holds
// every sample and the noise it shows is the sensor's own.
inline void LieStill(SimSensorConfig& config) {
  config.smplPrd = 0x80;
  config.motionScale = 0.0;
  config.temperatureDriftScale = 0.0;
  config.noiseModel.enabled = true;
}

}  // namespace vexa::sim
