#pragma once

#include "platform/bench_control.h"
#include "sim/sim_sensor.h"

namespace vexa::sim {

// The simulated module's bench, turned by the magnetometer calibration.
class SimBench : public BenchControl {
 public:
  explicit SimBench(SimSensor& sensor) : sensor_(sensor) {}
  void setTumbling(bool on) override { sensor_.setTumbling(on); }

 private:
  SimSensor& sensor_;
};

}  // namespace vexa::sim
