#include "analysis/record_series.h"

namespace vexa::analysis {

RateSeries SeriesForAnalysis(const LogRecord& record, int channel, double rateHz) {
  RateSeries s;
  if (channel < 0 || channel >= int(record.channels.size())) return s;
  const LogChannel& c = record.channels[channel];
  s.logged = int64_t(c.values.size());
  int64_t fresh = 0;
  for (uint8_t f : c.newData) fresh += f;
  s.freshOnly = fresh > 0 && fresh < s.logged;
  if (s.freshOnly) {
    s.values.reserve(size_t(fresh));
    for (size_t i = 0; i < c.values.size(); ++i)
      if (c.newData[i]) s.values.push_back(c.values[i]);
  } else {
    s.values = c.values;
  }
  const double interval = rateHz > 0.0 ? 1.0 / rateHz : record.sampleInterval;
  if (interval > 0.0 && !s.values.empty())
    s.tau0 = interval * double(s.logged) / double(s.values.size());
  return s;
}

}  // namespace vexa::analysis
