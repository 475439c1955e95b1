#include "sim/sensor_alarm.h"

#include <algorithm>

namespace vexa::sim {

bool SensorAlarm::sample(const AlarmSetup& setup, int32_t value) {
  if (!(setup == setup_)) {
    setup_ = setup;
    count_ = 0;
  }
  if (setup.source < 1 || setup.source > 12) return false;

  history_[head_] = value;
  head_ = (head_ + 1) % kHistory;
  count_ = std::min(count_ + 1, kHistory);

  auto ago = [this](int n) { return history_[(head_ - 1 - n + 2 * kHistory) % kHistory]; };
  double measured;
  if (setup.rateOfChange) {
    const int span = std::max(1, setup.samples);
    if (span >= kHistory || count_ <= span) return false;
    measured = static_cast<double>(value) - ago(span);
  } else {
    const int n = std::min(std::max(1, setup.samples), count_);
    double sum = 0.0;
    for (int k = 0; k < n; ++k) sum += ago(k);
    measured = sum / n;
  }
  return setup.greater ? measured > setup.threshold : measured < setup.threshold;
}

}  // namespace vexa::sim
