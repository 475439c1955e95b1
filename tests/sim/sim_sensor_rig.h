#pragma once

#include "sim/sim_clock.h"
#include "sim/sim_sensor.h"
#include "sensor_bus.h"
#include "support/still_sensor.h"

namespace vexa::testing {

// A simulated sensor on a virtual clock, driven through frames only.
struct SensorRig {
  explicit SensorRig(const sim::SimSensorConfig& config = StillSensor())
      : sensor(clock, config), bus(sensor) {}

  void wait(double seconds) { clock.advance(seconds); }
  // Lets one whole sample period of the present SMPL_PRD pass.
  void waitSample() {
    wait(sim::SimSensor::samplePeriodSeconds(static_cast<uint16_t>(bus.read(SMPL_PRD))) * 1.001);
  }

  sim::SimClock clock;
  sim::SimSensor sensor;
  SensorBus bus;
};

}  // namespace vexa::testing
