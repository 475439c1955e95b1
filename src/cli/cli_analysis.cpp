#include "cli/cli_analysis.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "analysis/allan_deviation.h"
#include "analysis/log_file.h"
#include "analysis/record_series.h"
#include "analysis/span_statistics.h"
#include "app/typed_number.h"

namespace vexa::cli {

namespace {

using namespace vexa::analysis;

constexpr const char* kProgram = "vexa-cli";

class UsageError {
 public:
  explicit UsageError(std::string text) : text(std::move(text)) {}
  std::string text;
};

// Numbers for other tools: a decimal point whatever the locale (to_chars ignores it), seven
// significant digits as the log itself carries.
std::string number(double v, int digits = 7) {
  char buffer[40];
  const auto r =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, digits);
  return std::string(buffer, r.ptr);
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

struct AnalysisArgs {
  std::vector<std::string> files;
  std::vector<std::string> channels;
  double rateHz = 0.0;
  bool csv = false;
};

AnalysisArgs parse(const std::string& command, const std::vector<std::string>& operands) {
  AnalysisArgs a;
  const bool adev = command == "adev";
  for (size_t i = 0; i < operands.size(); ++i) {
    const std::string& o = operands[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= operands.size()) throw UsageError(o + " needs a value");
      return operands[++i];
    };
    if (adev && o == "--channel") {
      a.channels.push_back(value());
    } else if (adev && o == "--rate") {
      const std::string& v = value();
      const TypedNumber rate = ReadTypedNumber(v);
      a.rateHz = rate.leading;
      if (!rate.whole || !(a.rateHz > 0.0))
        throw UsageError("malformed rate '" + v + "': give the sample rate in Hz, such as 819.2");
    } else if (adev && o == "--csv") {
      a.csv = true;
    } else if (o.size() > 1 && o[0] == '-') {
      throw UsageError("unknown option '" + o + "' for " + command);
    } else {
      a.files.push_back(o);
    }
  }
  if (a.files.empty()) throw UsageError(command + " needs at least one log file");
  return a;
}

// The chosen channels' indices: named ones in order, else all.
std::vector<int> chosenChannels(const LogRecord& record, const AnalysisArgs& a) {
  std::vector<int> chosen;
  if (a.channels.empty()) {
    for (size_t c = 0; c < record.channels.size(); ++c) chosen.push_back(int(c));
    return chosen;
  }
  for (const auto& name : a.channels) {
    const int c = record.findChannel(name);
    if (c < 0) {
      std::string titles;
      for (const auto& ch : record.channels) titles += (titles.empty() ? "" : ", ") + ch.title;
      throw UsageError("no channel '" + name + "' in the log (it has: " + titles + ")");
    }
    chosen.push_back(c);
  }
  return chosen;
}

int runStats(const LogRecord& record, std::ostream& out) {
  out << "samples\t" << record.samples() << '\n';
  if (record.sampleInterval > 0.0)
    out << "interval\t" << number(record.sampleInterval) << " s\n";
  else
    out << "interval\tunknown (the files' begin and end seconds do not tell it)\n";
  out << "channel\tunits\tcount\tmean\tstd\tmin\tmax\n";
  for (const auto& c : record.channels) {
    const SpanStatistics s = StatisticsOf(c.values);
    out << c.title << '\t' << c.units << '\t' << s.count << '\t' << number(s.mean) << '\t'
        << number(s.standardDeviation) << '\t' << number(s.min) << '\t' << number(s.max) << '\n';
  }
  return 0;
}

int runAdev(const LogRecord& record, const AnalysisArgs& a, std::ostream& out, std::ostream& err) {
  const std::vector<int> chosen = chosenChannels(record, a);
  if (a.csv) out << "channel,tau,adev,low,high\n";
  int status = 0;
  for (int c : chosen) {
    const LogChannel& ch = record.channels[c];
    const RateSeries series = SeriesForAnalysis(record, c, a.rateHz);
    if (!(series.tau0 > 0.0)) {
      err << kProgram << ": " << ch.title
          << ": the sample interval cannot be told from the files' begin and end seconds;"
             " give --rate HZ\n";
      status = 1;
      continue;
    }
    const std::vector<AllanPoint> curve = OverlappingAllanDeviation(series.values, series.tau0);
    if (curve.empty()) {
      err << kProgram << ": " << ch.title << ": too few samples for an Allan deviation\n";
      status = 1;
      continue;
    }
    if (a.csv) {
      for (const auto& p : curve)
        out << csvField(ch.title) << ',' << number(p.tau) << ',' << number(p.adev) << ','
            << number(p.low) << ',' << number(p.high) << '\n';
      continue;
    }
    const std::string units = ch.units.empty() ? "units" : ch.units;
    out << ch.title << " (" << units << "): " << series.values.size() << " samples every "
        << number(series.tau0) << " s";
    if (series.freshOnly)
      out << " (fresh samples only: " << series.logged - int64_t(series.values.size())
          << " repeated reads left out)";
    out << '\n';
    out << "  tau s\tadev\tlow\thigh\n";
    for (const auto& p : curve)
      out << "  " << number(p.tau) << '\t' << number(p.adev) << '\t' << number(p.low) << '\t'
          << number(p.high) << '\n';
    const AllanReadOffs r = ReadOffs(curve);
    const ReadOffText t = CustomaryReadOffs(r, ch.units);
    if (r.randomWalkFound)
      out << "  " << t.randomWalkName << ": " << number(t.randomWalk, 4) << ' ' << t.randomWalkUnits
          << " (-1/2 slope near tau " << number(r.randomWalkTau, 3) << " s)\n";
    else
      out << "  " << t.randomWalkName << ": not found (no -1/2 slope before the floor)\n";
    if (r.floorFound)
      out << "  bias instability: " << number(t.biasInstability, 4) << ' ' << t.biasUnits
          << " (floor at tau " << number(r.floorTau, 3) << " s)\n";
    else
      out << "  bias instability: below " << number(t.biasInstability, 4) << ' ' << t.biasUnits
          << " (no floor within the record: the curve is lowest at tau " << number(r.floorTau, 3)
          << " s)\n";
  }
  return status;
}

}  // namespace

bool IsAnalysisCommand(const std::string& command) {
  return command == "adev" || command == "stats";
}

int RunAnalysisCommand(const std::string& command, const std::vector<std::string>& operands,
                       std::ostream& out, std::ostream& err) {
  try {
    const AnalysisArgs a = parse(command, operands);
    LogRecord record;
    LogError error;
    if (!ReadLogFiles(a.files, record, error)) {
      err << kProgram << ": " << error.message() << '\n';
      return 1;
    }
    const int status = command == "adev" ? runAdev(record, a, out, err) : runStats(record, out);
    out.flush();
    return status;
  } catch (const UsageError& e) {
    err << kProgram << ": " << e.text << '\n';
    return 2;
  }
}

}  // namespace vexa::cli
