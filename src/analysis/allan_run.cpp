#include "analysis/allan_run.h"

namespace vexa::analysis {

AllanRun::~AllanRun() {
  cancel();
  wait();
}

void AllanRun::wait() {
  if (worker_.joinable()) worker_.join();
}

void AllanRun::start(std::vector<Job> jobs, AllanOptions options) {
  cancel();
  wait();
  progress_ = 0.0;
  cancelled_ = false;
  finished_ = false;
  curves_.clear();
  densities_.clear();
  worker_ = std::thread([this, jobs = std::move(jobs), options] {
    // Each job's share of the work is its length.
    double total = 0.0;
    for (const auto& j : jobs) total += double(j.values.size());
    double before = 0.0;
    std::vector<std::vector<AllanPoint>> curves;
    std::vector<NoiseDensity> densities;
    for (const auto& j : jobs) {
      const double share = total > 0 ? double(j.values.size()) / total : 0.0;
      curves.push_back(OverlappingAllanDeviation(j.values, j.tau0, options, [&](double s) {
        progress_ = before + share * s;
        return !cancelled_;
      }));
      if (cancelled_) break;
      densities.push_back(WelchDensity(j.values, j.tau0));
      before += share;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!cancelled_) {
        curves_ = std::move(curves);
        densities_ = std::move(densities);
      }
    }
    if (!cancelled_) progress_ = 1.0;
    finished_ = true;
  });
}

std::vector<std::vector<AllanPoint>> AllanRun::takeCurves() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(curves_);
}

}  // namespace vexa::analysis

namespace vexa::analysis {

std::vector<NoiseDensity> AllanRun::takeDensities() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(densities_);
}

}  // namespace vexa::analysis
