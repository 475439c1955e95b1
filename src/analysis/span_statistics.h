#pragma once

#include <cstdint>
#include <vector>

namespace vexa::analysis {

// Statistics of samples [first, last) of a channel.
struct SpanStatistics {
  int64_t count = 0;
  double mean = 0.0;
  double standardDeviation = 0.0;  // sample standard deviation (n - 1); 0 below two samples
  double min = 0.0;
  double max = 0.0;
};

SpanStatistics StatisticsOf(const std::vector<double>& values, int64_t first, int64_t last);
inline SpanStatistics StatisticsOf(const std::vector<double>& values) {
  return StatisticsOf(values, 0, static_cast<int64_t>(values.size()));
}

// The lowest and highest sample of each of `buckets` equal runs of samples [first, last): what a
// plot column must draw so that no peak is lost. Bucket b covers samples
// first + floor(b * n / buckets) .. first + floor((b + 1) * n / buckets) - 1; with fewer samples
// than buckets, one bucket per sample.
struct Envelope {
  std::vector<int64_t> firstSample;  // first sample of each bucket
  std::vector<double> low;
  std::vector<double> high;
};
Envelope MinMaxEnvelope(const std::vector<double>& values, int64_t first, int64_t last,
                        int buckets);

}  // namespace vexa::analysis
