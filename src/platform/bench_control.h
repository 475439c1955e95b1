#pragma once

namespace vexa {

// What the program may ask of a simulated bench; absent (null) on real hardware, where the
// engineer moves the module by hand.
class BenchControl {
 public:
  virtual ~BenchControl() = default;
  // On: the module tumbles slowly through every orientation, as an engineer turns it for a
  // magnetometer calibration. Off: it lies on the bench again.
  virtual void setTumbling(bool on) = 0;
};

}  // namespace vexa
