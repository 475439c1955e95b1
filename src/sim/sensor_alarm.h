#pragma once

#include <array>
#include <cstdint>

namespace vexa::sim {

// How one alarm is set up, decoded from its ALM_MAGn and ALM_SMPLn words and ALM_CTRL.
struct AlarmSetup {
  int source = 0;         // output register index 1..12; 0 (or 13..15) disables the alarm
  int32_t threshold = 0;  // in the source's raw units, already sign-extended to its width
  bool greater = false;   // trips above the threshold, else below it
  int samples = 0;        // ALM_SMPLn, 0..255
  bool rateOfChange = false;

  bool operator==(const AlarmSetup& o) const {
    return source == o.source && threshold == o.threshold && greater == o.greater &&
           samples == o.samples && rateOfChange == o.rateOfChange;
  }
};

// One alarm, fed with its source's raw value at every sample.
//
// Level mode compares the mean of the last ALM_SMPL samples (0 and 1 both mean the present
// sample alone) with the threshold. Rate-of-change mode compares the change of the source over
// ALM_SMPL samples (present minus that many samples ago; 0 counts as 1) and stays quiet until
// that much history exists. A change of setup discards the history.
class SensorAlarm {
 public:
  // Returns true when the alarm condition holds at this sample.
  bool sample(const AlarmSetup& setup, int32_t value);
  void reset() { count_ = 0; }

 private:
  static constexpr int kHistory = 256;
  AlarmSetup setup_{};
  std::array<int32_t, kHistory> history_{};  // ring of the most recent samples
  int head_ = 0;                             // next slot to write
  int count_ = 0;
};

}  // namespace vexa::sim
