#include "analysis/span_statistics.h"

#include <algorithm>
#include <cmath>

namespace vexa::analysis {

SpanStatistics StatisticsOf(const std::vector<double>& values, int64_t first, int64_t last) {
  SpanStatistics s;
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, static_cast<int64_t>(values.size()));
  if (last <= first) return s;
  s.count = last - first;
  // Shifted sums: exact for a constant, steady for a large offset.
  const double shift = values[first];
  double sum = 0.0;
  double squares = 0.0;
  s.min = s.max = values[first];
  for (int64_t i = first; i < last; ++i) {
    const double v = values[i];
    const double d = v - shift;
    sum += d;
    squares += d * d;
    s.min = std::min(s.min, v);
    s.max = std::max(s.max, v);
  }
  const double n = static_cast<double>(s.count);
  s.mean = shift + sum / n;
  if (s.count > 1) {
    const double variance = (squares - sum * sum / n) / (n - 1.0);
    s.standardDeviation = std::sqrt(std::max(variance, 0.0));
  }
  return s;
}

Envelope MinMaxEnvelope(const std::vector<double>& values, int64_t first, int64_t last,
                        int buckets) {
  Envelope e;
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, static_cast<int64_t>(values.size()));
  const int64_t n = last - first;
  if (n <= 0 || buckets <= 0) return e;
  const int64_t count = std::min<int64_t>(buckets, n);
  e.firstSample.resize(count);
  e.low.resize(count);
  e.high.resize(count);
  for (int64_t b = 0; b < count; ++b) {
    const int64_t from = first + b * n / count;
    const int64_t to = first + (b + 1) * n / count;
    const auto [lo, hi] = std::minmax_element(values.begin() + from, values.begin() + to);
    e.firstSample[b] = from;
    e.low[b] = *lo;
    e.high[b] = *hi;
  }
  return e;
}

}  // namespace vexa::analysis
