#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/allan_deviation.h"
#include "analysis/noise_density.h"

namespace vexa::analysis {

// The Allan deviations of several channels, computed one after another on a worker thread so
// that a window stays responsive. The window polls progress() and finished() from its own
// thread and takes the curves once finished.
class AllanRun {
 public:
  struct Job {
    std::string name;
    std::vector<double> values;
    double tau0 = 0.0;
  };

  AllanRun() = default;
  ~AllanRun();  // cancels and waits
  AllanRun(const AllanRun&) = delete;
  AllanRun& operator=(const AllanRun&) = delete;

  // Starts the jobs; a run still going is cancelled first.
  void start(std::vector<Job> jobs, AllanOptions options = {});
  void cancel() { cancelled_ = true; }
  // Share of the whole run done, 0..1.
  double progress() const { return progress_; }
  bool running() const { return worker_.joinable() && !finished_; }
  bool finished() const { return finished_; }
  bool wasCancelled() const { return cancelled_; }
  // Blocks until the worker has ended.
  void wait();
  // One curve per job (empty for a cancelled run); valid once finished.
  std::vector<std::vector<AllanPoint>> takeCurves();
  // One noise density per job, computed after its curve; valid once finished.
  std::vector<NoiseDensity> takeDensities();

 private:
  std::thread worker_;
  std::atomic<double> progress_{0.0};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
  std::mutex mutex_;
  std::vector<std::vector<AllanPoint>> curves_;
  std::vector<NoiseDensity> densities_;
};

}  // namespace vexa::analysis
